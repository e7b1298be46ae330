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
#include "formats/hint_vocabulary.hpp"

namespace epochsift {

inline constexpr std::array<std::string_view, COMPONENT_COUNT> COMPONENT_NAMES = {
    "representable",  "in_window",   "granularity_match", "magnitude_fit",          "epoch_distance", "prevalence",
    "not_sentinel",   "byte_width_match", "endian_match", "artifact_match", "neighbour_monotonicity",
    "self_describing", "prior",    "plausible_era",     "resolution_fit",         "id_structure",
};
static_assert(COMPONENT_NAMES.back() == "id_structure" && COMPONENT_NAMES.size() == COMPONENT_COUNT);

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
inline constexpr std::string_view LAYOUT_BYTES_PREFIX = "read as ";
inline constexpr std::string_view LAYOUT_BYTES_SUFFIX = " — the byte order and width are assumed, not known";
inline constexpr std::string_view LAYOUT_WORDS_HIGH_FIRST =
    "read as two 32-bit words, high word first — the word order is assumed, not known";
inline constexpr std::string_view LAYOUT_DIGITS_SUFFIX =
    " bytes of decimal digits, two a byte, in stored order — no byte order applies";
inline constexpr std::string_view LAYOUT_WORDS_LOW_FIRST =
    "read as two 32-bit words, low word first — the word order is assumed, not known";

constexpr std::string_view byte_order_text(const InputLayout& layout) {
    if (layout.order_moot) return layout.width == 1 ? " byte, " : " bytes, either byte order, ";
    return layout.order == ByteOrder::Little ? " bytes, little-endian, " : " bytes, big-endian, ";
}
inline constexpr std::string_view HINT_ONE_PREFIX = "the hint's word \"";
inline constexpr std::string_view HINT_ONE_SUFFIX = "\" implies this format";
inline constexpr std::string_view HINT_TWO_PREFIX = "the hint's words \"";
inline constexpr std::string_view HINT_TWO_MIDDLE = "\", \"";
inline constexpr std::string_view HINT_TWO_SUFFIX = "\" imply this format";

constexpr std::string_view hint_term_word(uint8_t term) {
    return term < HINT_TERMS.size() ? HINT_TERMS[term].word : std::string_view{};
}

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

// Room for the numbers a note quotes: 19 digits and a minus sign.
inline constexpr std::size_t NOTE_DIGITS = std::numeric_limits<int64_t>::digits10 + 2;

// One of the reading's notes as pieces; digits holds the numbers it quotes.
inline NotePieces note_pieces(const Candidate& c, Note note, char (&digits)[NOTE_DIGITS]) {
    using namespace note_texts_detail;
    switch (note) {
        case Note::ConsistentWith: return NotePieces{{CONSISTENT_PREFIX, c.label(), " [", c.citation(), CONSISTENT_SUFFIX}, 5};
        case Note::LeapSmear: return NotePieces{{LEAP_SMEAR}, 1};
        case Note::WallClockLocal: return NotePieces{{WALL_CLOCK_LOCAL}, 1};
        case Note::Sentinel: {
            std::string_view const raw(digits, std::to_chars(digits, digits + NOTE_DIGITS, c.raw).ptr);
            return NotePieces{{SENTINEL_PREFIX, raw, SENTINEL_MIDDLE, sentinel_kind(c.raw), SENTINEL_SUFFIX}, 5};
        }
        case Note::WholeSecond: return NotePieces{{WHOLE_SECOND}, 1};
        case Note::Unsigned32Bit: return NotePieces{{UNSIGNED_32_BIT}, 1};
        case Note::NearSigned32BitMax: return NotePieces{{NEAR_SIGNED_32_BIT_MAX}, 1};
        case Note::InputLayout: {
            InputLayout const& layout = c.layout;
            if (layout.kind == InputLayout::Kind::Words) {
                return NotePieces{{layout.order == ByteOrder::Big ? LAYOUT_WORDS_HIGH_FIRST : LAYOUT_WORDS_LOW_FIRST}, 1};
            }
            std::string_view const width(digits, std::to_chars(digits, digits + NOTE_DIGITS, layout.width).ptr);
            if (layout.kind == InputLayout::Kind::Digits) return NotePieces{{LAYOUT_BYTES_PREFIX, width, LAYOUT_DIGITS_SUFFIX}, 3};
            return NotePieces{{LAYOUT_BYTES_PREFIX, width, byte_order_text(layout),
                               layout.kind == InputLayout::Kind::Binary64 ? "IEEE 754 binary64"
                               : layout.is_signed                         ? "signed"
                                                                          : "unsigned",
                               LAYOUT_BYTES_SUFFIX}, 5};
        }
        case Note::HintNamed:
            if (c.hint_terms[1] >= HINT_TERMS.size()) {
                return NotePieces{{HINT_ONE_PREFIX, hint_term_word(c.hint_terms[0]), HINT_ONE_SUFFIX}, 3};
            }
            return NotePieces{{HINT_TWO_PREFIX, hint_term_word(c.hint_terms[0]), HINT_TWO_MIDDLE,
                               hint_term_word(c.hint_terms[1]), HINT_TWO_SUFFIX}, 5};
        case Note::Form:
            if (c.facts.zone_unstated) return NotePieces{{c.form_note(), ZONE_UNSTATED}, 2};
            return NotePieces{{c.form_note()}, 1};
    }
    return {};
}

// The text of a note that is the same for every reading that carries it, or
// empty for the notes that quote the reading.
constexpr std::string_view constant_note_text(Note note) {
    using namespace note_texts_detail;
    switch (note) {
        case Note::LeapSmear: return LEAP_SMEAR;
        case Note::WallClockLocal: return WALL_CLOCK_LOCAL;
        case Note::WholeSecond: return WHOLE_SECOND;
        case Note::Unsigned32Bit: return UNSIGNED_32_BIT;
        case Note::NearSigned32BitMax: return NEAR_SIGNED_32_BIT_MAX;
        default: return {};
    }
}

// Calls emit(NotePieces) for each of the reading's notes, in order.
template <class F>
void for_each_note(const Candidate& c, F&& emit) {
    char digits[NOTE_DIGITS];
    c.notes.for_each([&](Note note) { emit(note_pieces(c, note, digits)); });
}

// The notes as owned texts, for callers that keep or print them.
std::vector<std::string> note_texts(const Candidate& c);

}  // namespace epochsift
