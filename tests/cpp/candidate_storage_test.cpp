// A reading's inline text, component list and one-buffer note list.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {
namespace {

// The inline rendering is the same text as the owned one, and absent where
// that one is, over the calendar range's ends and random instants.
TEST(RenderedText, SameTextAsToRfc3339) {
    std::mt19937_64 rng(11);
    std::vector<PosixNs> instants = {
        PosixNs::from_seconds(MIN_CALENDAR_SECOND), PosixNs::from_seconds(MAX_CALENDAR_SECOND),
        PosixNs::from_seconds(MIN_CALENDAR_SECOND - 1), PosixNs::from_seconds(MAX_CALENDAR_SECOND + 1),
        PosixNs::from_seconds(MIN_CALENDAR_SECOND, 999'999'999)};
    for (int i = 0; i < 2000; ++i) {
        instants.push_back(PosixNs::from_seconds(static_cast<int64_t>(rng() % 700'000'000'000) - 400'000'000'000,
                                                 static_cast<int64_t>(rng() % 1'000'000'000)));
    }
    for (PosixNs const instant : instants) {
        std::optional<std::string> const owned = instant.to_rfc3339();
        std::optional<RenderedText> const inline_text = RenderedText::of(instant);
        ASSERT_EQ(owned.has_value(), inline_text.has_value());
        if (owned) {
            ASSERT_EQ(*inline_text, *owned);
        }
    }
}

// Notes read back as pushed, whether whole or in pieces, through indexing,
// iteration and a copy.
TEST(NoteList, ReadsBackWhatWasPushed) {
    std::mt19937_64 rng(3);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> expected;
        NoteList notes;
        std::size_t const count = rng() % (NoteList::CAPACITY + 1);
        for (std::size_t i = 0; i < count; ++i) {
            std::string const a(rng() % 40, static_cast<char>('a' + i)), b(rng() % 3, '-');
            if (rng() % 2) {
                notes.push_back_joined({a, b, a});
                expected.push_back(a + b + a);
            } else {
                notes.push_back(a);
                expected.push_back(a);
            }
        }
        NoteList const copy = notes;
        ASSERT_EQ(copy, notes);
        ASSERT_EQ(notes.size(), expected.size());
        std::vector<std::string> iterated;
        for (std::string_view note : copy) iterated.emplace_back(note);
        ASSERT_EQ(iterated, expected);
        for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(notes[i], expected[i]);
    }
    EXPECT_NE(NoteList({"ab", "c"}), NoteList({"a", "bc"}));
}

TEST(ComponentList, CopiesOnlyWhatItHolds) {
    ComponentList full;
    for (std::size_t i = 0; i < ComponentList::CAPACITY; ++i) full.push_back({"c", static_cast<double>(i)});
    ComponentList copy = ComponentList{{"x", 0.5}};
    ASSERT_EQ(copy.size(), 1u);
    copy = full;
    ASSERT_EQ(copy.size(), ComponentList::CAPACITY);
    for (std::size_t i = 0; i < copy.size(); ++i) EXPECT_EQ(copy[i].value, static_cast<double>(i));
}

}  // namespace
}  // namespace epochsift
