#include "engine/hint_words.hpp"

#include <algorithm>

#include "core/ascii_scan.hpp"
#include "engine/score.hpp"
#include "formats/hint_scan.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

namespace {

// Shorter runs ("a", "of", "ms") name too much to tell a family.
constexpr std::size_t MIN_WORD = 3;

constexpr bool is_word_char(char c) { return is_ascii_digit(c) || is_ascii_alpha(c); }

bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// artifact_match's full credit for one word alone: the word names the family.
bool names(const NumericFamily& family, std::string_view word) { return artifact_match(family, word) == 1.0; }

template <class Visit>
void for_each_word(std::string_view hint, Visit visit) {
    std::size_t i = 0;
    while (i < hint.size()) {
        while (i < hint.size() && !is_word_char(hint[i])) ++i;
        std::size_t const start = i;
        while (i < hint.size() && is_word_char(hint[i])) ++i;
        if (i - start >= MIN_WORD && !visit(hint.substr(start, i - start))) return;
    }
}

}  // namespace

std::vector<HintWord> hint_words(std::string_view hint) {
    std::vector<HintWord> out;
    for_each_hint_word(hint, [&](const HintWordMatch& match) {
        bool const seen = std::any_of(out.begin(), out.end(), [&](const HintWord& w) {
            return same_word(w.word, match.word);
        });
        if (seen) return;
        HintWord& entry = out.emplace_back(HintWord{match.word, {}, match.kind == HintWordMatch::Kind::Generic});
        if (match.kind != HintWordMatch::Kind::Term) return;
        for (uint16_t const row : HINT_TERM_ROWS[match.term]) {
            if (row != NO_FAMILY) entry.families.push_back(&NUMERIC_FAMILIES[row]);
        }
    });
    return out;
}

std::vector<HintWord> reference_hint_words(std::string_view hint) {
    std::vector<HintWord> out;
    for_each_word(hint, [&](std::string_view word) {
        bool const seen = std::any_of(out.begin(), out.end(), [&](const HintWord& w) {
            return same_word(w.word, word);
        });
        if (seen) return true;
        HintWord& entry = out.emplace_back(HintWord{word, {}});
        for (const NumericFamily& family : NUMERIC_FAMILIES) {
            if (names(family, word)) entry.families.push_back(&family);
        }
        return true;
    });
    return out;
}

bool hint_names_a_family(std::string_view hint) {
    bool found = false;
    for_each_word(hint, [&](std::string_view word) {
        found = std::any_of(NUMERIC_FAMILIES.begin(), NUMERIC_FAMILIES.end(),
                            [&](const NumericFamily& family) { return names(family, word); });
        return !found;
    });
    return found;
}

const ReadOptions& with_useful_hint(const ReadOptions& options, ReadOptions& storage) {
    if (!options.extended || !options.context.artifact_hint || options.context.artifact_hint->implies_a_family()) {
        return options;
    }
    storage = options;
    storage.context.artifact_hint.reset();
    return storage;
}

}  // namespace epochsift
