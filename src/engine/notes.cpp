#include "engine/notes.hpp"

#include "formats/numeric_family.hpp"

namespace epochsift {

namespace {

constexpr int64_t SIGNED_32_BIT_MAX = 2'147'483'647;
constexpr int64_t UNSIGNED_32_BIT_MAX = 4'294'967'295;
constexpr int64_t TWO_YEARS_OF_SECONDS = 63'072'000;  // 730 days

}  // namespace

NoteSet row_notes(const NumericFamily& family) {
    NoteSet notes{Note::ConsistentWith};
    if (!family.clock_policy_known) notes.add(Note::LeapSmear);
    if (family.local) notes.add(Note::WallClockLocal);
    return notes;
}

NoteSet integer_notes(const NumericFamily& family, int64_t raw, PosixNs instant) {
    NoteSet notes = row_notes(family);
    if (is_sentinel(raw)) notes.add(Note::Sentinel);
    if (family.whole_second_suspicious && instant.ns % NS_PER_SECOND == 0) notes.add(Note::WholeSecond);
    // Both width notes read the stored count, whatever the row's epoch: they
    // are about the width of the field, not the date.
    if (family.encoding.tag == Encoding::Tag::Integer && family.encoding.unit == Unit::Seconds) {
        if (raw > SIGNED_32_BIT_MAX && raw <= UNSIGNED_32_BIT_MAX) {
            notes.add(Note::Unsigned32Bit);
        } else if (raw >= SIGNED_32_BIT_MAX - TWO_YEARS_OF_SECONDS && raw <= SIGNED_32_BIT_MAX) {
            notes.add(Note::NearSigned32BitMax);
        }
    }
    return notes;
}

}  // namespace epochsift
