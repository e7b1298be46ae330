// Reading a hint into the vocabulary's words. A hint is split at white
// space and at punctuation that separates words (commas, brackets, quotes,
// slashes, colons); a piece keeps the punctuation that joins a name
// (`places.sqlite`, `visit_time`, `$MFT`, `Date.now`). A piece the
// vocabulary does not know is tried part by part at that joining
// punctuation, so `DateTime.Ticks` reads as the generic `DateTime` and the
// term `Ticks`. Single letters say nothing and are skipped.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/hint_vocabulary.hpp"

namespace epochsift {

struct HintWordMatch {
    enum class Kind : uint8_t {
        Term,     // names the families of HINT_TERMS[term]
        Generic,  // a word of GENERIC_HINT_WORDS: no evidence
        Unknown,  // in neither list
    };
    std::string_view word;  // into the hint, as typed
    Kind kind = Kind::Unknown;
    uint8_t term = 0;
};

namespace hint_scan_detail {

constexpr bool is_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Punctuation inside a name: a member access, a snake_case join, NTFS's `$`.
constexpr bool is_joiner(char c) { return c == '.' || c == '_' || c == '-' || c == '$' || c == '+' || c == '#'; }

constexpr bool is_trimmed(char c) { return c == '.' || c == '_' || c == '-'; }

// word's match, or nothing for a word of fewer than two letters or digits.
constexpr bool classify(std::string_view word, HintWordMatch& out) {
    char buffer[HINT_WORD_MAX];
    std::size_t const n = squash_hint_word(word, buffer, HINT_WORD_MAX);
    if (n < 2) return false;
    out = {word, HintWordMatch::Kind::Unknown, 0};
    if (n > HINT_WORD_MAX) return true;
    std::string_view const squashed(buffer, n);
    if (auto const term = find_hint_term(squashed)) {
        out.kind = HintWordMatch::Kind::Term;
        out.term = static_cast<uint8_t>(*term);
    } else if (is_generic_hint_word(squashed)) {
        out.kind = HintWordMatch::Kind::Generic;
    }
    return true;
}

}  // namespace hint_scan_detail

// Calls visit(HintWordMatch) for each word of hint, in order.
template <class Visit>
constexpr void for_each_hint_word(std::string_view hint, Visit&& visit) {
    using namespace hint_scan_detail;
    std::size_t i = 0;
    while (i < hint.size()) {
        while (i < hint.size() && !is_alnum(hint[i]) && !is_joiner(hint[i])) ++i;
        std::size_t const start = i;
        while (i < hint.size() && (is_alnum(hint[i]) || is_joiner(hint[i]))) ++i;
        std::string_view piece = hint.substr(start, i - start);
        // A member access or a dash at either end belongs to no name.
        while (!piece.empty() && is_trimmed(piece.front())) piece.remove_prefix(1);
        while (!piece.empty() && is_trimmed(piece.back())) piece.remove_suffix(1);
        HintWordMatch whole;
        if (!classify(piece, whole)) continue;
        if (whole.kind != HintWordMatch::Kind::Unknown) {
            visit(whole);
            continue;
        }
        // The parts, when one of them is known; else the piece as one unknown word.
        HintWordMatch parts[8];
        std::size_t count = 0;
        bool known = false;
        std::size_t j = 0;
        while (j < piece.size()) {
            while (j < piece.size() && is_joiner(piece[j])) ++j;
            std::size_t const from = j;
            while (j < piece.size() && !is_joiner(piece[j])) ++j;
            HintWordMatch part;
            if (!classify(piece.substr(from, j - from), part)) continue;
            if (count == 8) {
                known = false;  // too many parts to be one name
                break;
            }
            known = known || part.kind != HintWordMatch::Kind::Unknown;
            parts[count++] = part;
        }
        if (!known) {
            visit(whole);
            continue;
        }
        for (std::size_t p = 0; p < count; ++p) visit(parts[p]);
    }
}

}  // namespace epochsift
