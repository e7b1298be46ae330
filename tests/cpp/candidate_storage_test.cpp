// A reading's inline rendering.
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

}  // namespace
}  // namespace epochsift
