// The texts of a reading's typed facts: component names and notes. The JSON
// form and the command line's table both write them from here.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

inline constexpr std::array<std::string_view, COMPONENT_COUNT> COMPONENT_NAMES = {
    "representable",  "in_window",   "granularity_match", "magnitude_fit",          "epoch_distance", "prevalence",
    "not_sentinel",   "byte_width_match", "endian_match", "artifact_match", "neighbour_monotonicity",
    "self_describing",
};
static_assert(COMPONENT_NAMES.back() == "self_describing" && COMPONENT_NAMES.size() == COMPONENT_COUNT);

constexpr std::string_view component_name(Component kind) { return COMPONENT_NAMES[static_cast<std::size_t>(kind)]; }

namespace note_texts_detail {

inline constexpr std::string_view CONSISTENT_PREFIX = "consistent with ";
inline constexpr std::string_view CONSISTENT_SUFFIX = "] — a reading, not a determination";
inline constexpr std::string_view LEAP_SMEAR =
    "indistinguishable from a leap-smeared source without clock-policy metadata";
inline constexpr std::string_view WALL_CLOCK_LOCAL =
    "stored as LOCAL wall-clock time with no offset — the instant is naive, not UTC";
inline constexpr std::string_view SENTINEL_PREFIX = "value ";
inline constexpr std::string_view SENTINEL_MIDDLE = " is a likely sentinel (";
inline constexpr std::string_view SENTINEL_SUFFIX = ") — an 'unset'/'never' marker, not necessarily a real instant";
inline constexpr std::string_view WHOLE_SECOND =
    "sub-second field is exactly zero — consistent with a SetFileTime-style manipulation, not a "
    "naturally-recorded instant";
inline constexpr std::string_view UNSIGNED_32_BIT =
    "stored value exceeds the signed 32-bit range (2^31) but fits an unsigned 32-bit field — consistent with an "
    "unsigned 32-bit time field, or a value past a signed field's rollover";
inline constexpr std::string_view NEAR_SIGNED_32_BIT_MAX =
    "stored value is within ~2 years of the signed 32-bit maximum (2^31-1) — consistent with approaching the "
    "representable limit of a signed 32-bit field (the Unix Y2038 boundary for a 1970-epoch field)";
inline constexpr std::string_view ZONE_UNSTATED = "; NO timezone designator — assumed UTC, but may be local time";

constexpr std::string_view sentinel_kind(int64_t raw) {
    if (raw == 0) return "possible sentinel: zero / unset";
    if (raw == -1) return "possible sentinel: -1 / all-ones (unset)";
    if (raw == std::numeric_limits<int64_t>::min()) {
        return "possible sentinel: i64 min (0x8000000000000000 — unset/overflow)";
    }
    return "known sentinel: 0x7FFFFFFFFFFFFFFF (e.g. AD accountExpires 'never')";
}

}  // namespace note_texts_detail

// One note's text as consecutive pieces.
struct NotePieces {
    std::array<std::string_view, 5> parts;
    std::size_t count = 0;

    std::size_t size() const {
        std::size_t total = 0;
        for (std::size_t i = 0; i < count; ++i) total += parts[i].size();
        return total;
    }
};

// Calls emit(NotePieces) for each of the reading's notes, in order.
template <class F>
void for_each_note(const Candidate& c, F&& emit) {
    using namespace note_texts_detail;
    char digits[std::numeric_limits<int64_t>::digits10 + 2];  // 19 digits and a minus sign
    c.notes.for_each([&](Note note) {
        switch (note) {
            case Note::ConsistentWith:
                emit(NotePieces{{CONSISTENT_PREFIX, c.label, " [", c.citation, CONSISTENT_SUFFIX}, 5});
                return;
            case Note::LeapSmear: emit(NotePieces{{LEAP_SMEAR}, 1}); return;
            case Note::WallClockLocal: emit(NotePieces{{WALL_CLOCK_LOCAL}, 1}); return;
            case Note::Sentinel: {
                std::string_view const raw(digits, std::to_chars(digits, digits + sizeof digits, c.raw).ptr);
                emit(NotePieces{{SENTINEL_PREFIX, raw, SENTINEL_MIDDLE, sentinel_kind(c.raw), SENTINEL_SUFFIX}, 5});
                return;
            }
            case Note::WholeSecond: emit(NotePieces{{WHOLE_SECOND}, 1}); return;
            case Note::Unsigned32Bit: emit(NotePieces{{UNSIGNED_32_BIT}, 1}); return;
            case Note::NearSigned32BitMax: emit(NotePieces{{NEAR_SIGNED_32_BIT_MAX}, 1}); return;
            case Note::Form:
                if (c.facts.zone_unstated) {
                    emit(NotePieces{{c.form_note, ZONE_UNSTATED}, 2});
                } else {
                    emit(NotePieces{{c.form_note}, 1});
                }
                return;
        }
    });
}

// The notes as owned texts, for callers that keep or print them.
std::vector<std::string> note_texts(const Candidate& c);

}  // namespace epochsift
