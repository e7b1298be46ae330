// The POSIX TZ rule string reader against glibc's own reading of the same
// strings (localtime_r under TZ=...), and against published shift dates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "core/posix_tz.hpp"

namespace epochsift {
namespace {

// Examples from the glibc manual's TZ section and RFC 8536 section 3.3.
constexpr const char* DOCUMENTED[] = {
    "EST+5EDT,M3.2.0/2,M11.1.0/2",              // US Eastern, glibc manual
    "EST5EDT,M3.2.0,M11.1.0",                   // the same, default times
    "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",     // Lord Howe: half-hour shift, southern summer
    "NZST-12:00:00NZDT-13:00:00,M9.5.0,M4.1.0/3",  // New Zealand, full h:m:s offsets
    "IST-2IDT,M3.4.4/26,M10.5.0",               // Israel: a rule time past 24 hours
    "<-02>2<-01>,M3.5.0/-1,M10.5.0/0",          // Greenland: a negative rule time
    "CET-1CEST,J60/2,300/3",                    // Julian days with and without 29 February
    "<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45",  // Chatham
    "<-03>3",                                   // no daylight saving time
    "AAA3BBB,J1/167,J365/-167",                 // rule times at the extended limits
    "<-0044>0:44:30",                           // Liberia's mean time until 1972: seconds in the offset
    "AAA-1:02:03BBB-2:03:04,M3.5.0/1:30:45,M10.5.0/2:15:15",  // seconds in every field, last Sundays
};

struct Glibc {
    int32_t offset;
    bool is_dst;
    std::string abbreviation;
};

Glibc glibc_at(const char* tz, int64_t seconds) {
    setenv("TZ", tz, 1);
    tzset();
    std::time_t const t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {static_cast<int32_t>(tm.tm_gmtoff), tm.tm_isdst > 0, tm.tm_zone};
}

TEST(PosixTz, DocumentedStringsAgreeWithGlibc) {
    std::mt19937_64 random(2024);
    std::uniform_int_distribution<int64_t> instants(0, 4'102'444'799);  // 1970 to 2100
    for (const char* text : DOCUMENTED) {
        auto const tz = parse_posix_tz(text);
        ASSERT_TRUE(tz) << text;
        for (int i = 0; i < 3000; ++i) {
            int64_t const t = instants(random);
            for (int64_t near : {t, t - t % 3600, t - t % 3600 - 1}) {  // hour boundaries catch shifts
                PosixTzState const ours = posix_tz_at(*tz, near);
                Glibc const theirs = glibc_at(text, near);
                EXPECT_EQ(ours.offset, theirs.offset) << text << " at " << near;
                EXPECT_EQ(ours.is_dst, theirs.is_dst) << text << " at " << near;
                EXPECT_EQ(std::string(ours.abbreviation), theirs.abbreviation) << text << " at " << near;
            }
        }
    }
    unsetenv("TZ");
    tzset();
}

// US daylight saving time in 2024: 10 March 07:00Z to 3 November 06:00Z
// (second Sunday of March, first of November, 02:00 local).
TEST(PosixTz, PublishedShifts) {
    for (const char* text : {"EST5EDT,M3.2.0,M11.1.0", "EST5EDT"}) {  // no rules: the US ones
        auto const tz = parse_posix_tz(text);
        ASSERT_TRUE(tz) << text;
        DstChanges const changes = dst_changes(*tz, 2024);
        EXPECT_EQ(changes.start, 1'710'054'000) << text;
        EXPECT_EQ(changes.end, 1'730'613'600) << text;
        EXPECT_EQ(posix_tz_at(*tz, 1'710'053'999).offset, -5 * 3600) << text;
        EXPECT_EQ(posix_tz_at(*tz, 1'710'054'000).offset, -4 * 3600) << text;
        EXPECT_EQ(posix_tz_at(*tz, 1'730'613'599).abbreviation, "EDT") << text;
        EXPECT_EQ(posix_tz_at(*tz, 1'730'613'600).abbreviation, "EST") << text;
    }
}

// RFC 8536 3.3.1: this string means daylight saving time all year. (glibc
// takes the year from UTC and reads standard time in the hours before each
// New Year, so it is no oracle here.)
TEST(PosixTz, DaylightSavingAllYear) {
    auto const tz = parse_posix_tz("EST5EDT,0/0,J365/25");
    ASSERT_TRUE(tz);
    for (int64_t t = 0; t < 4'102'444'800; t += 3593) {
        ASSERT_EQ(posix_tz_at(*tz, t).offset, -4 * 3600) << t;
        ASSERT_EQ(posix_tz_at(*tz, t).abbreviation, "EDT") << t;
    }
}

TEST(PosixTz, RejectsMalformedStrings) {
    for (const char* text : {
             "",                                    // nothing
             "EST",                                 // no offset
             "ES5",                                 // a name under three letters
             "<+1>-1",                              // a quoted name under three characters
             "<+1030-10:30",                        // unclosed quote
             "5EST",                                // offset first
             "EST+",                                // sign without hours
             "EST25",                               // offset past 24 hours
             "EST5:60",                             // minutes past 59
             "EST5:30:60",                          // seconds past 59
             "EST5EDT,M3.2.0",                      // one rule
             "EST5EDT,M3.2.0,,M11.1.0",             // empty rule
             "EST5EDT,M13.1.0,M11.1.0",             // month 13
             "EST5EDT,M3.6.0,M11.1.0",              // week 6
             "EST5EDT,M3.0.0,M11.1.0",              // week 0
             "EST5EDT,M3.2.7,M11.1.0",              // weekday 7
             "EST5EDT,J0,J365",                     // Julian day 0
             "EST5EDT,J366,J365",                   // Julian day 366
             "EST5EDT,366,0",                       // zero-based day 366
             "EST5EDT,M3.2.0/168,M11.1.0",          // rule time past 167 hours
             "EST5EDT,M3.2.0/-168,M11.1.0",         // and before -167
             "EST5EDT,M3.2.0,M11.1.0x",             // trailing text
             "EST5EDT4;M3.2.0,M11.1.0",             // wrong separator
         }) {
        EXPECT_FALSE(parse_posix_tz(text)) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace epochsift
