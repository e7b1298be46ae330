// The leap-second table against tzdata's leap-seconds.list (IERS Bulletin C,
// as IANA publishes it), which Debian's tzdata installs: every step at its
// second with its TAI − UTC, and the conversions on both sides of each.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/leap_seconds.hpp"

namespace epochsift {
namespace {

// RFC 5905 §6: NTP era 0 starts at 1900-01-01T00:00:00Z, 2 208 988 800 s
// before the Unix epoch (70 years, 17 of them leap years).
constexpr int64_t NTP_TO_UNIX = 2'208'988'800;

struct ListedStep {
    int64_t unix_second;
    int32_t tai_minus_utc;
};

std::vector<ListedStep> listed_steps() {
    std::ifstream in("/usr/share/zoneinfo/leap-seconds.list");
    std::vector<ListedStep> steps;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int64_t ntp = 0;
        int32_t offset = 0;
        if (fields >> ntp >> offset) steps.push_back({ntp - NTP_TO_UNIX, offset});
    }
    return steps;
}

TEST(LeapSeconds, TableIsTzdataList) {
    std::vector<ListedStep> const listed = listed_steps();
    if (listed.empty()) GTEST_SKIP() << "no /usr/share/zoneinfo/leap-seconds.list (tzdata)";
    ASSERT_EQ(listed.size(), LEAP_STEPS.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(LEAP_STEPS[i].utc_second, listed[i].unix_second) << "step " << i;
        EXPECT_EQ(LEAP_STEPS[i].tai_minus_utc, listed[i].tai_minus_utc) << "step " << i;
    }
}

TEST(LeapSeconds, OffsetsOnBothSidesOfEveryListedStep) {
    std::vector<ListedStep> const listed = listed_steps();
    if (listed.empty()) GTEST_SKIP() << "no /usr/share/zoneinfo/leap-seconds.list (tzdata)";
    for (std::size_t i = 0; i < listed.size(); ++i) {
        int64_t const at = listed[i].unix_second;
        int32_t const before = i == 0 ? 10 : listed[i - 1].tai_minus_utc;  // 10 carried back before 1972
        EXPECT_EQ(tai_minus_utc_at_utc(at - 1), before) << at;
        EXPECT_EQ(tai_minus_utc_at_utc(at), listed[i].tai_minus_utc) << at;
        // On the TAI scale the new offset starts at the step's TAI label.
        EXPECT_EQ(tai_minus_utc_at_tai(at + listed[i].tai_minus_utc), listed[i].tai_minus_utc) << at;
        EXPECT_EQ(tai_minus_utc_at_tai(at + before - 1), before) << at;
    }
}

}  // namespace
}  // namespace epochsift
