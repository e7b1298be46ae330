// The hint vocabulary read back through the hint scanner: every row's word,
// however an analyst cases and wraps it, reads as that row; every generic
// word as generic; and the scanner's splitting of joined names.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/hint_scan.hpp"

using namespace epochsift;

namespace {

std::vector<HintWordMatch> words_of(std::string_view hint) {
    std::vector<HintWordMatch> out;
    for_each_hint_word(hint, [&](const HintWordMatch& word) { out.push_back(word); });
    return out;
}

std::string recased(std::string_view word, std::mt19937_64& random) {
    std::string out(word);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z' && random() % 2 == 0) c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z' && random() % 2 == 0) c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

TEST(HintVocabulary, EveryTermReadsAsItsRowHoweverWrapped) {
    std::mt19937_64 random(23);
    static char const* const WRAPS[][2] = {{"", ""}, {"(", ")"}, {"\"", "\","}, {"the ", " field"}, {"/", "/"}};
    for (std::size_t row = 0; row < HINT_TERMS.size(); ++row) {
        for (auto const& wrap : WRAPS) {
            std::string const hint = wrap[0] + recased(HINT_TERMS[row].word, random) + wrap[1];
            std::vector<HintWordMatch> const words = words_of(hint);
            bool found = false;
            for (HintWordMatch const& w : words) found = found || (w.kind == HintWordMatch::Kind::Term && w.term == row);
            EXPECT_TRUE(found) << HINT_TERMS[row].word << " in '" << hint << "'";
        }
    }
    for (std::string_view const generic : GENERIC_HINT_WORDS) {
        std::vector<HintWordMatch> const words = words_of(recased(generic, random));
        ASSERT_EQ(words.size(), 1u) << generic;
        EXPECT_EQ(words[0].kind, HintWordMatch::Kind::Generic) << generic;
    }
}

TEST(HintVocabulary, JoinedNamesSplitOnlyWhenTheWholeIsUnknown) {
    struct Case {
        std::string_view hint;
        std::vector<std::string_view> words;  // as reported, in order
    };
    Case const cases[] = {
        {"places.sqlite", {"places.sqlite"}},            // a row of its own: not split
        {"DateTime.UtcNow.Ticks", {"DateTime", "UtcNow", "Ticks"}},  // unknown whole: its parts
        {"foo_bar.baz", {"foo_bar.baz"}},               // no part known: the whole, once
        {"time.Now().UnixNano()", {"time", "Now", "UnixNano"}},  // parentheses separate, dots at the ends trimmed
        {"a b c", {}},                                   // single letters say nothing
        {"$MFT, $UsnJrnl", {"$MFT", "$UsnJrnl"}},
    };
    for (Case const& c : cases) {
        std::vector<HintWordMatch> const words = words_of(c.hint);
        ASSERT_EQ(words.size(), c.words.size()) << c.hint;
        for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i].word, c.words[i]) << c.hint;
    }
}

TEST(HintVocabulary, LongAndHostileHints) {
    // A word longer than any key, bytes past ASCII, and no word at all.
    std::string const long_word(1 << 16, 'q');
    std::vector<HintWordMatch> const words = words_of(long_word + " \xff\xfe fat32 \x01");
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].kind, HintWordMatch::Kind::Unknown);
    EXPECT_EQ(words[1].kind, HintWordMatch::Kind::Term);
    EXPECT_TRUE(words_of("").empty());
    EXPECT_TRUE(words_of(".,;:()").empty());
}
