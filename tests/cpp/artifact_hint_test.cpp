// A hint read once (ArtifactHint) names exactly the families that searching
// its tokens in each family's fields one by one (artifact_match) finds:
// random hints of the families' own words, cut, recased and joined with
// junk, against that plain search, over every family of both tables.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/artifact_hint.hpp"
#include "engine/score.hpp"
#include "formats/numeric_family_table.hpp"

using namespace epochsift;

namespace {

// The words a hint is made of: pieces of the families' own fields, so that
// hints name some families and not others.
std::vector<std::string> words() {
    std::vector<std::string> out = {"x", "ab", "zzzz", "\xC2\xB5s", "hfs+", "posix/linux", "2017", "DOS", "a_b"};
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        for (std::string_view field : {family.id, family.source, family.label}) {
            std::size_t const cut = field.size() / 3;
            out.emplace_back(field.substr(cut, field.size() / 2));
        }
    }
    return out;
}

std::string random_hint(std::mt19937_64& random, const std::vector<std::string>& pool) {
    static char const JOINERS[] = {' ', '/', '.', '-', '_', '\0', '\xff', 'q'};
    std::string hint;
    std::size_t const count = random() % 5;
    for (std::size_t i = 0; i < count; ++i) {
        std::string word = pool[random() % pool.size()];
        for (char& c : word) {
            if (random() % 4 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        hint += word;
        hint += JOINERS[random() % sizeof JOINERS];
    }
    return hint;
}

}  // namespace

TEST(ArtifactHint, NamesWhatThePlainSearchFinds) {
    std::vector<std::string> const pool = words();
    std::mt19937_64 random(24);
    for (int round = 0; round < 3000; ++round) {
        std::string const text = random_hint(random, pool);
        ArtifactHint const hint(text);
        EXPECT_EQ(hint.text(), text);
        for (NumericFamily const& family : NUMERIC_FAMILIES) {
            ASSERT_EQ(hint.match(family), artifact_match(family, text)) << family.id << " '" << text << "'";
        }
        for (NumericFamily const& family : REFERENCE_FAMILIES) {
            ASSERT_EQ(hint.match(family), artifact_match(family, text)) << family.id << " '" << text << "'";
        }
        NumericFamily const copy = NUMERIC_FAMILIES[round % NUMERIC_FAMILIES.size()];  // a row outside both tables
        ASSERT_EQ(hint.match(copy), artifact_match(copy, text)) << copy.id << " '" << text << "'";
    }
}

TEST(ArtifactHint, EmptyAndLongHints) {
    for (NumericFamily const& family : NUMERIC_FAMILIES) EXPECT_EQ(ArtifactHint("").match(family), 0.2);
    // A token longer than any word of any field names nothing; the hint is
    // read whole once, whatever its length.
    std::string const long_token(1 << 20, 'a');
    for (NumericFamily const& family : NUMERIC_FAMILIES) EXPECT_EQ(ArtifactHint(long_token).match(family), 0.2);
    std::string many_words;
    for (int i = 0; i < 100000; ++i) many_words += "zzz ";
    many_words += "chrome";
    ArtifactHint const hint(many_words);
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        EXPECT_EQ(hint.match(family), artifact_match(family, "chrome")) << family.id;
    }
}
