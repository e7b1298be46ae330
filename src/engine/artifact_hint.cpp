#include "engine/artifact_hint.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "core/ascii_scan.hpp"
#include "formats/hint_scan.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

namespace {

static_assert(NUMERIC_FAMILIES.size() <= MAX_HINT_FAMILIES, "a hint's bit set holds a bit for every family");

using FamilySet = std::bitset<MAX_HINT_FAMILIES>;

bool is_ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Every lower-case piece, three or more long, of every run of ASCII letters
// and digits in the families' ids, sources and labels, with the families
// that hold it. A token (itself such a run) occurs in a field exactly when
// its lower case is one of the field's pieces: it can match ASCII letters
// and digits only, so never across a run's end. Built once a process.
struct PieceIndex {
    std::unordered_map<std::string, FamilySet> families;
    std::size_t longest = 0;  // a longer token names nothing

    PieceIndex() {
        for (std::size_t row = 0; row < NUMERIC_FAMILIES.size(); ++row) {
            NumericFamily const& family = NUMERIC_FAMILIES[row];
            for (std::string_view const field : {family.id, family.source, family.label}) {
                std::size_t i = 0;
                while (i < field.size()) {
                    while (i < field.size() && !is_ascii_alnum(field[i])) ++i;
                    std::size_t const start = i;
                    while (i < field.size() && is_ascii_alnum(field[i])) ++i;
                    add_pieces(field.substr(start, i - start), row);
                }
            }
        }
    }

    void add_pieces(std::string_view run, std::size_t row) {
        if (run.size() > longest) longest = run.size();
        for (std::size_t begin = 0; begin + 3 <= run.size(); ++begin) {
            for (std::size_t length = 3; begin + length <= run.size(); ++length) {
                std::string piece(run.substr(begin, length));
                for (char& c : piece) c = ascii_lower(c);
                families[std::move(piece)].set(row);
            }
        }
    }
};

const PieceIndex& piece_index() {
    static PieceIndex const index;  // thread-safe initialisation
    return index;
}

// The family's row in NUMERIC_FAMILIES; REFERENCE_FAMILIES' rows are copies.
constexpr std::array<std::size_t, REFERENCE_FAMILIES.size()> REFERENCE_ROWS = [] {
    std::array<std::size_t, REFERENCE_FAMILIES.size()> rows{};
    for (std::size_t r = 0; r < REFERENCE_FAMILIES.size(); ++r) {
        for (std::size_t n = 0; n < NUMERIC_FAMILIES.size(); ++n) {
            if (NUMERIC_FAMILIES[n].id == REFERENCE_FAMILIES[r].id) rows[r] = n;
        }
    }
    return rows;
}();

std::size_t row_of(const NumericFamily& family) {
    auto const within = [&](auto const& table) {
        std::less<const NumericFamily*> const before;
        return !before(&family, table.data()) && before(&family, table.data() + table.size());
    };
    if (within(NUMERIC_FAMILIES)) return static_cast<std::size_t>(&family - NUMERIC_FAMILIES.data());
    if (within(REFERENCE_FAMILIES)) return REFERENCE_ROWS[static_cast<std::size_t>(&family - REFERENCE_FAMILIES.data())];
    for (std::size_t n = 0; n < NUMERIC_FAMILIES.size(); ++n) {
        if (NUMERIC_FAMILIES[n].id == family.id) return n;
    }
    return MAX_HINT_FAMILIES;  // not a table row: named by nothing
}

}  // namespace

ArtifactHint::ArtifactHint(std::string_view text) : text_(text) {
    PieceIndex const& index = piece_index();
    std::string token;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !is_ascii_alnum(text[i])) ++i;
        std::size_t const start = i;
        while (i < text.size() && is_ascii_alnum(text[i])) ++i;
        std::size_t const length = i - start;
        if (length < 3 || length > index.longest) continue;
        token.assign(text.substr(start, length));
        for (char& c : token) c = ascii_lower(c);
        if (auto const found = index.families.find(token); found != index.families.end()) named_ |= found->second;
    }
    for (auto& terms : terms_) terms = {NO_TERM, NO_TERM};
    // A word counts once however often it is typed.
    std::bitset<HINT_TERMS.size()> seen;
    for_each_hint_word(text, [&](const HintWordMatch& word) {
        if (word.kind != HintWordMatch::Kind::Term || seen.test(word.term)) return;
        seen.set(word.term);
        for (uint16_t const row : HINT_TERM_ROWS[word.term]) {
            if (row == NO_FAMILY) continue;
            if (implied_[row] < UINT8_MAX) ++implied_[row];
            if (implied_[row] > most_) most_ = implied_[row];
            auto& terms = terms_[row];
            if (terms[0] == NO_TERM) {
                terms[0] = word.term;
            } else if (terms[1] == NO_TERM) {
                terms[1] = word.term;
            }
        }
    });
}

double ArtifactHint::vocabulary_match(const NumericFamily& family) const {
    std::size_t const row = row_of(family);
    if (most_ == 0 || row >= MAX_HINT_FAMILIES) return 0.0;
    return static_cast<double>(implied_[row]) / static_cast<double>(most_);
}

std::array<uint8_t, 2> ArtifactHint::terms_for(const NumericFamily& family) const {
    std::size_t const row = row_of(family);
    if (row >= MAX_HINT_FAMILIES) return {NO_TERM, NO_TERM};
    return terms_[row];
}

double ArtifactHint::match(const NumericFamily& family) const {
    std::size_t const row = row_of(family);
    return row < MAX_HINT_FAMILIES && named_.test(row) ? 1.0 : 0.2;
}

}  // namespace epochsift
