#include "engine/assumptions.hpp"

#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

#include "formats/numeric_family.hpp"

namespace epochsift {

namespace {

constexpr std::string_view CONSISTENT_PREFIX = "consistent with ";
constexpr std::string_view CONSISTENT_SUFFIX = "] — a reading, not a determination";
constexpr std::string_view LEAP_SMEAR_NOTE =
    "indistinguishable from a leap-smeared source without clock-policy metadata";
constexpr std::string_view LOCAL_TIME_NOTE =
    "stored as LOCAL wall-clock time with no offset — the instant is naive, not UTC";

constexpr std::string_view SENTINEL_PREFIX = "value ";
constexpr std::string_view SENTINEL_MIDDLE = " is a likely sentinel (";
constexpr std::string_view SENTINEL_SUFFIX = ") — an 'unset'/'never' marker, not necessarily a real instant";

struct SentinelValue {
    int64_t raw;
    std::string_view note;
};

constexpr SentinelValue SENTINEL_VALUES[] = {
    {0, "possible sentinel: zero / unset"},
    {-1, "possible sentinel: -1 / all-ones (unset)"},
    {std::numeric_limits<int64_t>::min(), "possible sentinel: i64 min (0x8000000000000000 — unset/overflow)"},
    {std::numeric_limits<int64_t>::max(), "known sentinel: 0x7FFFFFFFFFFFFFFF (e.g. AD accountExpires 'never')"},
};

constexpr std::string_view WHOLE_SECOND_NOTE =
    "sub-second field is exactly zero — consistent with a SetFileTime-style manipulation, not a "
    "naturally-recorded instant";

constexpr std::string_view UNSIGNED_32_BIT_NOTE =
    "stored value exceeds the signed 32-bit range (2^31) but fits an unsigned 32-bit field — consistent with an "
    "unsigned 32-bit time field, or a value past a signed field's rollover";
constexpr std::string_view NEAR_SIGNED_32_BIT_MAX_NOTE =
    "stored value is within ~2 years of the signed 32-bit maximum (2^31-1) — consistent with approaching the "
    "representable limit of a signed 32-bit field (the Unix Y2038 boundary for a 1970-epoch field)";

constexpr int64_t SIGNED_32_BIT_MAX = 2'147'483'647;
constexpr int64_t UNSIGNED_32_BIT_MAX = 4'294'967'295;
constexpr int64_t TWO_YEARS_OF_SECONDS = 63'072'000;  // 730 days

std::optional<std::string_view> sentinel_note(int64_t raw) {
    for (SentinelValue const& sentinel : SENTINEL_VALUES) {
        if (sentinel.raw == raw) return sentinel.note;
    }
    return std::nullopt;
}

// A FILETIME whose 100 ns ticks are all zero is rare in nature but what
// tools that set file times from whole seconds leave behind. Only the
// filetime row: active shares its decoding, not this note.
bool whole_second_filetime(const TimeFormat& row, PosixNs instant) {
    return row.id == "filetime" && instant.ns % NS_PER_SECOND == 0;
}

// Both tests read the stored count, whatever the row's epoch: they are about
// the width of the field, not the date.
std::optional<std::string_view> thirty_two_bit_note(const TimeFormat& row, int64_t raw) {
    if (row.encoding.tag != Encoding::Tag::Integer || row.encoding.unit != Unit::Seconds) return std::nullopt;
    if (raw > SIGNED_32_BIT_MAX && raw <= UNSIGNED_32_BIT_MAX) return UNSIGNED_32_BIT_NOTE;
    if (raw >= SIGNED_32_BIT_MAX - TWO_YEARS_OF_SECONDS && raw <= SIGNED_32_BIT_MAX) return NEAR_SIGNED_32_BIT_MAX_NOTE;
    return std::nullopt;
}

std::size_t row_note_bytes(const TimeFormat& row) {
    return CONSISTENT_PREFIX.size() + row.label.size() + 2 + row.citation.size() + CONSISTENT_SUFFIX.size() +
           (row.clock_policy_known ? 0 : LEAP_SMEAR_NOTE.size()) + (row.local ? LOCAL_TIME_NOTE.size() : 0);
}

void append_row_notes(NoteList& notes, const TimeFormat& row) {
    notes.push_back_joined({CONSISTENT_PREFIX, row.label, " [", row.citation, CONSISTENT_SUFFIX});
    if (!row.clock_policy_known) notes.push_back(LEAP_SMEAR_NOTE);
    if (row.local) notes.push_back(LOCAL_TIME_NOTE);
}

}  // namespace

NoteList assumptions(const TimeFormat& row) {
    NoteList notes;
    notes.reserve(row_note_bytes(row));
    append_row_notes(notes, row);
    return notes;
}

NoteList integer_assumptions(const TimeFormat& row, int64_t raw, PosixNs instant) {
    std::optional<std::string_view> const sentinel = sentinel_note(raw);
    bool const whole_second = whole_second_filetime(row, instant);
    std::optional<std::string_view> const width = thirty_two_bit_note(row, raw);

    char digits[std::numeric_limits<int64_t>::digits10 + 2];  // 19 digits and a minus sign
    std::string_view const raw_text(digits, sentinel ? std::to_chars(digits, digits + sizeof digits, raw).ptr : digits);

    NoteList notes;
    notes.reserve(row_note_bytes(row) +
                  (sentinel ? SENTINEL_PREFIX.size() + raw_text.size() + SENTINEL_MIDDLE.size() + sentinel->size() +
                                  SENTINEL_SUFFIX.size()
                            : 0) +
                  (whole_second ? WHOLE_SECOND_NOTE.size() : 0) + (width ? width->size() : 0));
    append_row_notes(notes, row);
    if (sentinel) notes.push_back_joined({SENTINEL_PREFIX, raw_text, SENTINEL_MIDDLE, *sentinel, SENTINEL_SUFFIX});
    if (whole_second) notes.push_back(WHOLE_SECOND_NOTE);
    if (width) notes.push_back(*width);
    return notes;
}

}  // namespace epochsift
