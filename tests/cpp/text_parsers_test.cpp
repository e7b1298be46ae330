#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {
namespace {

using Parser = std::optional<PosixNs> (*)(std::string_view);

struct Case {
    std::string text;
    const char* utc;  // expected RFC 3339 rendering
};

void check(Parser parse, const char* name, const Case& c) {
    auto const got = parse(c.text);
    ASSERT_TRUE(got) << name << " refused \"" << c.text << "\"";
    EXPECT_EQ(got->to_rfc3339().value_or("unrenderable"), c.utc) << name << " \"" << c.text << "\"";
}

#define CHECK_ALL(parser, cases) \
    for (const Case& c : cases) check(parser, #parser, c)

#define REFUSES(parser, ...) \
    for (const char* text : {__VA_ARGS__}) EXPECT_FALSE(parser(text)) << #parser " accepted " << text

// ---- web-server log dates ----

TEST(Clf, FormsAndNearMisses) {
    const Case cases[] = {
        {"[10/Oct/2000:13:55:36 -0700]", "2000-10-10T20:55:36Z"},
        {"[ 10/oct/2000:13:55:36 -0700 ]", "2000-10-10T20:55:36Z"},
        {"[[10/Oct/2000:13:55:36 -0700]]", "2000-10-10T20:55:36Z"},
        {"1/Oct/2000:1:2:3 +0000", "2000-10-01T01:02:03Z"},
        {"10/Oct/2000:13:55:36 +0099", "2000-10-10T12:16:36Z"},  // minutes not range-checked
        {"01/Jan/2000:00:00:00 +2559", "1999-12-30T22:01:00Z"},   // widest offset
    };
    CHECK_ALL(parse_clf, cases);
    REFUSES(parse_clf, "[10/Oct/2000:13:55:36 +2600]",  // beyond ±25:59
            "[10/Oct/2000:13:55:36 PDT]", "[10/Oct/2000:13:55:60 -0700]", "[10/Oct/2000:13:55:36.5 -0700]",
            "[10/Oct/2000:13:55:36-0700]", "[10/Oct/2000:13:55:36  -0700]",  // second space stays in the seconds
            "[10/Oct/2000:13:55 -0700]", "[31/Sep/2000:13:55:36 -0700]", "[10/Oct/2000:13:55:36]");
}

// ---- PDF dates ----

TEST(PdfDate, FormsAndNearMisses) {
    const Case cases[] = {
        {"D:2024", "2024-01-01T00:00:00Z"},
        {"D:202403", "2024-03-01T00:00:00Z"},
        {"D:20240101120000+05'30'", "2024-01-01T06:30:00Z"},
        {"D:20240101120000-0800", "2024-01-01T20:00:00Z"},
        {"D:20240101120000+05'30'junk", "2024-01-01T06:30:00Z"},  // past the five offset bytes
        {"D:20240101120000Z00'00'", "2024-01-01T12:00:00Z"},
        {"D:20240101120000", "2024-01-01T12:00:00Z"},
        {"D:20241", "2024-01-01T00:00:00Z"},             // lone fifth digit ignored
        {"D:2024010112000099", "2024-01-01T12:00:00Z"},  // digits past the fourteenth ignored
        {"D:0000", "0000-01-01T00:00:00Z"},
    };
    CHECK_ALL(parse_pdf_date, cases);
    REFUSES(parse_pdf_date, "D:20230229", "d:20240101", "D:202", "D:20240101120000+05'", "D:20240101120000z",
            "D:20240101120000+2600");
}

// ---- CIM datetimes ----

TEST(DmtfCim, FormsAndNearMisses) {
    const Case cases[] = {
        {"20240101120000.000000+060", "2024-01-01T11:00:00Z"},
        {"20240101120000.000000+***", "2024-01-01T12:00:00Z"},
        {"20240101120000.123456-000", "2024-01-01T12:00:00.123456Z"},
        {"20240101120000.000000+999", "2023-12-31T19:21:00Z"},
    };
    CHECK_ALL(parse_dmtf_cim, cases);
    REFUSES(parse_dmtf_cim, "20240101120000.000+060",  // three fraction digits
            "2024****120000.000000+060", "20240101120000.000000+06", "20240101120000,000000+060",
            "20240101120000.000000 060", "20240101120000.000000+0*0", "20240230120000.000000+000",
            "-0240101120000.000000+060");  // the first sign is not at 21
}

// ---- EXIF ----

TEST(Exif, FormsAndNearMisses) {
    const Case cases[] = {
        {"2024:01:02 03:04:05", "2024-01-02T03:04:05Z"},
        {"2024:1:2 3:4:5", "2024-01-02T03:04:05Z"},
    };
    CHECK_ALL(parse_exif, cases);
    REFUSES(parse_exif, "0000:00:00 00:00:00",  // the "unknown" placeholder
            "2024:01:02  03:04:05", "2024-01-02 03:04:05", "2024:01:02T03:04:05", "2024:01:02 03:04",
            "2024:02:30 00:00:00", "2024:01:02 24:00:00");
}

// ---- ISO ordinal and week dates ----

// Forms and bounds; the walk below checks the day numbering, the week
// around New Year and which years have a week 53.
TEST(IsoOrdinal, FormsAndNearMisses) {
    const Case cases[] = {{"+024-001", "0024-01-01T00:00:00Z"}, {"9999-364", "9999-12-30T00:00:00Z"}};
    CHECK_ALL(parse_iso_ordinal, cases);
    REFUSES(parse_iso_ordinal, "9999-365",  // past the calendar range
            "2023-366", "2024-000", "2024-60", "-024-001", "+2024-060", "2024060");
}

TEST(IsoWeek, FormsAndNearMisses) {
    const Case cases[] = {
        {"2024-W7-1", "2024-02-12T00:00:00Z"},
        {"2024-W007-1", "2024-02-12T00:00:00Z"},
        {"2024-W01-01", "2024-01-01T00:00:00Z"},
        {"+024-W01-1", "0024-01-01T00:00:00Z"},
    };
    CHECK_ALL(parse_iso_week, cases);
    REFUSES(parse_iso_week, "2024-W01-0", "2024-W01-8", "2024-w01-1", "2024-W00-1", "2024W01-1", "2024-W01",
            "02024-W01-1", "9999-W52-7");  // 9999-12-31 lies past the calendar range
}

// Textbook ISO week numbering: 53 weeks when the year starts on a Thursday,
// or on a Wednesday in a leap year.
int64_t floor_div7(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int weeks_in_iso_year(int64_t y) {
    auto const p = [](int64_t v) { return ((v + floor_div7(v, 4) - floor_div7(v, 100) + floor_div7(v, 400)) % 7 + 7) % 7; };
    return p(y) == 4 || p(y - 1) == 3 ? 53 : 52;
}

// Every year from 0 to 9999: the week around New Year, where ISO weeks cross
// years, and every 97th day, which over the span meets every weekday and day
// of the year.
TEST(IsoDates, YearsFrom0To9999) {
    int64_t seconds = *unix_seconds(CivilTime{0, 1, 1});
    int weekday = 6;  // 0000-01-01 was a Saturday (the 400-year cycle is whole weeks)
    int64_t day_number = 0;
    char text[32];
    for (int year = 0; year <= 9999; ++year) {
        int const days = is_leap_year(year) ? 366 : 365;
        for (int ordinal = 1; ordinal <= days; ++ordinal, ++day_number, seconds += 86'400, weekday = weekday % 7 + 1) {
            if (seconds > MAX_CALENDAR_SECOND) return;
            if (ordinal > 7 && ordinal <= days - 7 && day_number % 97 != 0) continue;
            PosixNs const expected = PosixNs::from_seconds(seconds);

            std::snprintf(text, sizeof text, "%04d-%03d", year, ordinal);
            auto const by_ordinal = parse_iso_ordinal(text);
            ASSERT_TRUE(by_ordinal && *by_ordinal == expected) << text;

            int64_t iso_year = year;
            int week = (ordinal - weekday + 10) / 7;
            if (week < 1) {
                iso_year = year - 1;
                week = weeks_in_iso_year(iso_year);
            } else if (week > weeks_in_iso_year(year)) {
                iso_year = year + 1;
                week = 1;
            }
            if (iso_year >= 0) {
                std::snprintf(text, sizeof text, "%04lld-W%02d-%d", static_cast<long long>(iso_year), week, weekday);
                auto const by_week = parse_iso_week(text);
                ASSERT_TRUE(by_week && *by_week == expected) << text;
            }
        }
        if (year < 9999) {
            std::snprintf(text, sizeof text, "%04d-W53-1", year);
            EXPECT_EQ(parse_iso_week(text).has_value(), weeks_in_iso_year(year) == 53) << text;
        }
    }
}

// ---- RFC 2822 ----

TEST(Rfc2822, Zones) {
    // Named zones in any case; military letters and unknown names carry no
    // trustworthy offset and read as UTC.
    struct Zone {
        const char* name;
        int hours_west;
    };
    const Zone zones[] = {{"UT", 0},  {"GMT", 0}, {"gmt", 0}, {"EDT", 4}, {"EST", 5},  {"CDT", 5},   {"cst", 6},
                          {"MDT", 6}, {"MST", 7}, {"PDT", 7}, {"Pst", 8}, {"Z", 0},    {"a", 0},     {"M", 0},
                          {"Y", 0},   {"UTC", 0}, {"CEST", 0}, {"ABCDE", 0}, {"-0000", 0}};
    for (const Zone& z : zones) {
        auto const t = parse_rfc2822(std::string("Tue, 1 Jul 2003 10:52:37 ") + z.name);
        ASSERT_TRUE(t) << z.name;
        EXPECT_TRUE(*t == PosixNs::from_seconds(1'057'056'757 + z.hours_west * 3'600)) << z.name;
    }
    const Case offsets[] = {{"Tue, 1 Jul 2003 10:52:37 -0130", "2003-07-01T12:22:37Z"},
                            {"Tue, 1 Jul 2003 10:52:37 +2559", "2003-06-30T08:53:37Z"}};
    CHECK_ALL(parse_rfc2822, offsets);
    for (const char* zone : {"J", "j", "XY", "ABCDEF", "+02:00", "+200", "+02000", "0200", "+0060", "+2600",
                             "GMT+1", "+", ""}) {
        EXPECT_FALSE(parse_rfc2822(std::string("Tue, 1 Jul 2003 10:52:37 ") + zone)) << zone;
    }
    EXPECT_FALSE(parse_rfc2822("Tue, 1 Jul 2003 10:52:37+0200"));  // no space before the zone
}

TEST(Rfc2822, DatesAndTimes) {
    const Case cases[] = {
        {"1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"tue, 01 jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue,1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"  Tue,\t1  Jul\t2003   10:52:37 \t +0200", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003\r\n 10:52:37 +0200", "2003-07-01T08:52:37Z"},  // folded header
        {"Tue, 1 Jul 2003 10:52 +0200", "2003-07-01T08:52:00Z"},       // seconds are optional
        {"1 Jul 49 00:00 +0000", "2049-07-01T00:00:00Z"},
        {"1 Jul 50 00:00 +0000", "1950-07-01T00:00:00Z"},
        {"1 Jul 999 00:00 +0000", "2899-07-01T00:00:00Z"},  // three digits: plus 1900
        {"1 Jul 0099 00:00 +0000", "0099-07-01T00:00:00Z"},
        {"Sat, 1 Jan 0000 00:00:00 +0000", "0000-01-01T00:00:00Z"},
        {"Fri, 31 Dec 9999 23:59:00 +2559", "9999-12-30T22:00:00Z"},  // the last second in range
    };
    CHECK_ALL(parse_rfc2822, cases);
    REFUSES(parse_rfc2822, "Fri, 31 Dec 9999 23:59:01 +2559",  // past the calendar range
            "Wed, 1 Jul 2003 10:52:37 +0200",                   // 1 July 2003 was a Tuesday
            "Tuesday, 1 Jul 2003 10:52:37 +0200", "Tue 1 Jul 2003 10:52:37 +0200", "Tue, 1 July 2003 10:52:37 +0200",
            "Tue, 001 Jul 2003 10:52:37 +0200", "Tue, 1 Jul 2 10:52:37 +0200", "Tue, 1 Jul 2003 10:52:60 +0200",
            "Tue, 1 Jul 2003 1:52:37 +0200", "Tue, 1 Jul 2003 10:52:37.5 +0200", "29 Feb 2023 00:00 +0000",
            "Tue, 1 Jul 2003 10:52:37 +0200 x", "2003-07-01T10:52:37+02:00");
}

TEST(Rfc2822, Comments) {
    const Case cases[] = {
        {"(sent) Tue, 1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue(day), 1(a)Jul(b)2003(c)10:52:37 (d)+0200(e)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 ((a)(b(c)))", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a \\) b)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (Mitteleurop\xC3\xA4ische Zeit) ()", "2003-07-01T08:52:37Z"},
    };
    CHECK_ALL(parse_rfc2822, cases);
    REFUSES(parse_rfc2822, "Tue, 1 Jul 2003 10:52:37(c)+0200", "Tue, 1 Jul 2003 10:52:37 +0200 ((a)",
            "Tue, 1 Jul 2003 10:52:37 +0200 (a\\)",  // the quoted ) does not close
            "Tue, 1 Jul 2003 10:52:37 +0200 (a\\", "Tue, 1 Jul 2003 10:52:37 +0200 (a))", "(only a comment)");
}

TEST(Rfc2822, CommentDepthLimit) {
    auto const nested = [](int depth) {
        return "Tue, 1 Jul 2003 10:52:37 +0200 " + std::string(static_cast<std::size_t>(depth), '(') +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    EXPECT_TRUE(parse_rfc2822(nested(32)));
    EXPECT_FALSE(parse_rfc2822(nested(33)));
    EXPECT_FALSE(parse_rfc2822(nested(100'000)));
    // Many comments side by side are fine: the limit is on depth, not count.
    std::string many = "Tue, 1 Jul 2003 10:52:37 +0200 ";
    for (int i = 0; i < 50'000; ++i) many += "(x)";
    EXPECT_TRUE(parse_rfc2822(many));
}

}  // namespace
}  // namespace epochsift
