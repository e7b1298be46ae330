#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interpret/text_date_parsers.hpp"
#include "time/civil.hpp"

namespace epochsift {
namespace {

using Parser = std::optional<PosixNs> (*)(std::string_view);

struct Case {
    std::string text;
    const char* utc;  // expected RFC 3339 rendering; nullptr: refused
};

void check(Parser parse, const char* name, const Case& c) {
    auto const got = parse(c.text);
    if (c.utc == nullptr) {
        EXPECT_FALSE(got) << name << " accepted \"" << c.text << "\" as " << got->to_rfc3339().value_or("?");
    } else {
        ASSERT_TRUE(got) << name << " refused \"" << c.text << "\"";
        EXPECT_EQ(got->to_rfc3339().value_or("unrenderable"), c.utc) << name << " \"" << c.text << "\"";
    }
}

#define CHECK_ALL(parser, cases) \
    for (const Case& c : cases) check(parser, #parser, c)

// ---- shared field readers ----

TEST(TextFields, MonthAbbr) {
    EXPECT_EQ(month_abbr("OCT"), 10);
    EXPECT_EQ(month_abbr("Oct"), 10);
    EXPECT_EQ(month_abbr("oct"), 10);
    EXPECT_EQ(month_abbr("jAN"), 1);
    EXPECT_EQ(month_abbr("Dec"), 12);
    for (const char* bad : {"Octo", "Sept", "Oct.", "", "Oc", "Ma", "0ct", "mai"}) EXPECT_FALSE(month_abbr(bad)) << bad;
}

TEST(TextFields, FracToNanos) {
    EXPECT_EQ(frac_to_nanos(""), 0);
    EXPECT_EQ(frac_to_nanos("000001"), 1000);
    EXPECT_EQ(frac_to_nanos("5"), 500'000'000);
    EXPECT_EQ(frac_to_nanos("123456"), 123'456'000);
    EXPECT_EQ(frac_to_nanos("999999999"), 999'999'999);
    EXPECT_EQ(frac_to_nanos("1234567899"), 123'456'789);  // truncated, not rounded
    EXPECT_EQ(frac_to_nanos("12a"), 0);
    EXPECT_EQ(frac_to_nanos("1 "), 0);
    EXPECT_EQ(frac_to_nanos("-5"), -50'000'000);  // the padded text is read as a signed number
}

TEST(TextFields, NumericOffset) {
    EXPECT_EQ(numeric_offset_secs("+0530"), 19'800);
    EXPECT_EQ(numeric_offset_secs("-0800"), -28'800);
    EXPECT_EQ(numeric_offset_secs("-0000"), 0);
    EXPECT_EQ(numeric_offset_secs("+0099"), 5'940);     // fields not range-checked here
    EXPECT_EQ(numeric_offset_secs("+9900"), 356'400);
    for (const char* bad : {"", "+", "0530", "+05:30", "+053", "+05300", "+05a0", " +0530", "\xE2\x88\x92" "0530"}) {
        EXPECT_FALSE(numeric_offset_secs(bad)) << bad;
    }
}

TEST(TextFields, SignedFields) {
    EXPECT_EQ(signed_field8("127"), 127);
    EXPECT_EQ(signed_field8("-128"), -128);
    EXPECT_EQ(signed_field8("+0000000000000000000007"), 7);  // leading zeros never overflow
    EXPECT_EQ(signed_field8("-0"), 0);
    EXPECT_EQ(signed_field16("32767"), 32767);
    EXPECT_EQ(signed_field16("-32768"), -32768);
    EXPECT_FALSE(signed_field8("128"));
    EXPECT_FALSE(signed_field8("-129"));
    EXPECT_FALSE(signed_field16("32768"));
    EXPECT_FALSE(signed_field16("-32769"));
    EXPECT_FALSE(signed_field16("99999999999999999999999"));
    for (const char* bad : {"", "+", "-", "1 ", " 1", "--1", "+-1", "1.5", "1e2", "0x1"}) {
        EXPECT_FALSE(signed_field8(bad)) << bad;
        EXPECT_FALSE(signed_field16(bad)) << bad;
    }
}

// ---- web-server log dates ----

TEST(Clf, Accepted) {
    const Case cases[] = {
        {"[10/Oct/2000:13:55:36 -0700]", "2000-10-10T20:55:36Z"},
        {"10/Oct/2000:13:55:36 -0700", "2000-10-10T20:55:36Z"},
        {"  [ 10/oct/2000:13:55:36 -0700 ]  ", "2000-10-10T20:55:36Z"},
        {"[[10/Oct/2000:13:55:36 -0700]]", "2000-10-10T20:55:36Z"},
        {"1/Oct/2000:1:2:3 +0000", "2000-10-01T01:02:03Z"},
        {"10/Oct/2000:13:55:36 +0099", "2000-10-10T12:16:36Z"},  // minutes not range-checked
        {"01/Jan/2000:00:00:00 +2559", "1999-12-30T22:01:00Z"},   // widest offset
        {"29/Feb/2024:23:59:59 -0000", "2024-02-29T23:59:59Z"},
    };
    CHECK_ALL(parse_clf, cases);
}

TEST(Clf, Refused) {
    const Case cases[] = {
        {"[10/Oct/2000:13:55:36 PDT]", nullptr},
        {"[10/Oct/2000:13:55:60 -0700]", nullptr},   // leap second
        {"[10/Oct/2000:13:55:36 -07:00]", nullptr},
        {"[10/Oct/2000:13:55:36.5 -0700]", nullptr},
        {"[10/Oct/2000:13:55:36-0700]", nullptr},    // no space before the zone
        {"[10/Oct/2000:13:55:36  -0700]", nullptr},  // second space stays in the seconds
        {"[10/Oct/2000 13:55:36 -0700]", nullptr},
        {"[10/October/2000:13:55:36 -0700]", nullptr},
        {"[10/10/2000:13:55:36 -0700]", nullptr},
        {"[10/Oct:13:55:36 -0700]", nullptr},
        {"[1/10/Oct/2000:13:55:36 -0700]", nullptr},
        {"[10/Oct/2000:13:55 -0700]", nullptr},
        {"[10/Oct/2000:13:55:36:00 -0700]", nullptr},
        {"[31/Sep/2000:13:55:36 -0700]", nullptr},
        {"[10/Oct/2000:13:55:36 +2600]", nullptr},   // beyond ±25:59
        {"[10/Oct/2000:13:55:36]", nullptr},
        {"", nullptr},
    };
    CHECK_ALL(parse_clf, cases);
}

// ---- PDF dates ----

TEST(PdfDate, Accepted) {
    const Case cases[] = {
        {"D:2024", "2024-01-01T00:00:00Z"},
        {"D:20240229", "2024-02-29T00:00:00Z"},
        {"D:20240101120000+05'30'", "2024-01-01T06:30:00Z"},
        {"D:20240101120000+0530", "2024-01-01T06:30:00Z"},
        {"D:20240101120000-08'00'", "2024-01-01T20:00:00Z"},
        {"D:20240101120000+05'30'junk", "2024-01-01T06:30:00Z"},  // past the five offset bytes
        {"D:20240101120000Z", "2024-01-01T12:00:00Z"},
        {"D:20240101120000Z00'00'", "2024-01-01T12:00:00Z"},
        {"D:20240101120000", "2024-01-01T12:00:00Z"},
        {"D:202403", "2024-03-01T00:00:00Z"},
        {"D:20241", "2024-01-01T00:00:00Z"},                  // lone fifth digit ignored
        {"D:2024010112000099", "2024-01-01T12:00:00Z"},       // digits past the fourteenth ignored
        {"  D:2024  ", "2024-01-01T00:00:00Z"},
        {"D:0000", "0000-01-01T00:00:00Z"},
    };
    CHECK_ALL(parse_pdf_date, cases);
}

TEST(PdfDate, Refused) {
    const Case cases[] = {
        {"D:20230229", nullptr},
        {"d:20240101", nullptr},
        {"20240101", nullptr},
        {"D:202", nullptr},
        {"D:", nullptr},
        {"D:20240101120000+05'", nullptr},
        {"D:20240101120000z", nullptr},
        {"D:2024-01-01", nullptr},
        {"D:20241301", nullptr},
        {"D:20240101246000", nullptr},
        {"D:20240101120000+2600", nullptr},
    };
    CHECK_ALL(parse_pdf_date, cases);
}

// ---- CIM datetimes ----

TEST(DmtfCim, AcceptedAndRefused) {
    const Case cases[] = {
        {"20240101120000.000000+060", "2024-01-01T11:00:00Z"},
        {"20240101120000.000000-060", "2024-01-01T13:00:00Z"},
        {"20240101120000.000000+***", "2024-01-01T12:00:00Z"},
        {"20240101120000.123456-000", "2024-01-01T12:00:00.123456Z"},
        {"20240101120000.000000+999", "2023-12-31T19:21:00Z"},
        {" 20240101120000.000000+060\t", "2024-01-01T11:00:00Z"},
        {"20240101120000.000+060", nullptr},       // three fraction digits
        {"2024****120000.000000+060", nullptr},    // asterisks in the date
        {"20240101120000.000000+06", nullptr},
        {"20240101120000.000000+0600", nullptr},
        {"20240101120000,000000+060", nullptr},
        {"20240101120000.000000 060", nullptr},
        {"20240101120000.000000+0*0", nullptr},
        {"20240101120000.000000+**", nullptr},
        {"-0240101120000.000000+060", nullptr},    // the first sign is not at 21
        {"20240230120000.000000+000", nullptr},
    };
    CHECK_ALL(parse_dmtf_cim, cases);
}

// ---- EXIF ----

TEST(Exif, AcceptedAndRefused) {
    const Case cases[] = {
        {"2024:01:02 03:04:05", "2024-01-02T03:04:05Z"},
        {"2024:1:2 3:4:5", "2024-01-02T03:04:05Z"},
        {"  2024:01:02 03:04:05 ", "2024-01-02T03:04:05Z"},
        {"0000:00:00 00:00:00", nullptr},  // the "unknown" placeholder
        {"2024:01:02  03:04:05", nullptr},
        {"2024-01-02 03:04:05", nullptr},
        {"2024:01:02T03:04:05", nullptr},
        {"2024:01:02 03:04:05.5", nullptr},
        {"2024:01:02 03:04", nullptr},
        {"2024:01:02:03 03:04:05", nullptr},
        {"2024:02:30 00:00:00", nullptr},
        {"2024:01:02 24:00:00", nullptr},
    };
    CHECK_ALL(parse_exif, cases);
}

// ---- ISO ordinal and week dates ----

TEST(IsoOrdinal, AcceptedAndRefused) {
    const Case cases[] = {
        {"2024-060", "2024-02-29T00:00:00Z"},
        {"2023-060", "2023-03-01T00:00:00Z"},
        {"2024-366", "2024-12-31T00:00:00Z"},
        {"+024-001", "0024-01-01T00:00:00Z"},
        {"0000-366", "0000-12-31T00:00:00Z"},
        {"9999-364", "9999-12-30T00:00:00Z"},
        {"9999-365", nullptr},  // past the calendar range
        {"2023-366", nullptr},
        {"2024-000", nullptr},
        {"2024-367", nullptr},
        {"2024-60", nullptr},
        {"2024-0600", nullptr},
        {"2024-06a", nullptr},
        {"-024-001", nullptr},
        {"+2024-060", nullptr},
        {"20240-60", nullptr},
        {"2024060", nullptr},
        {"2a24-060", nullptr},
    };
    CHECK_ALL(parse_iso_ordinal, cases);
}

TEST(IsoWeek, AcceptedAndRefused) {
    const Case cases[] = {
        {"2020-W53-5", "2021-01-01T00:00:00Z"},
        {"2024-W01-1", "2024-01-01T00:00:00Z"},
        {"2024-W7-1", "2024-02-12T00:00:00Z"},
        {"2024-W07-1", "2024-02-12T00:00:00Z"},
        {"2024-W007-1", "2024-02-12T00:00:00Z"},
        {"2024-W01-01", "2024-01-01T00:00:00Z"},
        {"2026-W53-7", "2027-01-03T00:00:00Z"},
        {"2025-W01-1", "2024-12-30T00:00:00Z"},
        {"+024-W01-1", "0024-01-01T00:00:00Z"},
        {"2021-W53-1", nullptr},
        {"2024-W01-0", nullptr},
        {"2024-W01-8", nullptr},
        {"2024-w01-1", nullptr},
        {"2024-W00-1", nullptr},
        {"2024-W-1", nullptr},
        {"2024-W01-1-", nullptr},
        {"2024W01-1", nullptr},
        {"2024-W01", nullptr},
        {"02024-W01-1", nullptr},
        {"2024-W1a-1", nullptr},
        {"9999-W52-7", nullptr},  // 9999-12-31 lies past the calendar range
    };
    CHECK_ALL(parse_iso_week, cases);
}

// Textbook ISO week numbering: 53 weeks when the year starts on a Thursday,
// or on a Wednesday in a leap year.
int64_t floor_div7(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int weeks_in_iso_year(int64_t y) {
    auto const p = [](int64_t v) { return ((v + floor_div7(v, 4) - floor_div7(v, 100) + floor_div7(v, 400)) % 7 + 7) % 7; };
    return p(y) == 4 || p(y - 1) == 3 ? 53 : 52;
}

TEST(IsoDates, EveryDayFromYear0To9999) {
    int64_t seconds = *civil_to_unix_seconds(0, 1, 1, 0, 0, 0);
    int weekday = 6;  // 0000-01-01 was a Saturday (the 400-year cycle is whole weeks)
    char text[32];
    for (int year = 0; year <= 9999; ++year) {
        int ordinal = 0;
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= days_in_month(year, month); ++day) {
                ++ordinal;
                if (seconds > MAX_CALENDAR_SECOND) return;
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
                seconds += 86'400;
                weekday = weekday % 7 + 1;
            }
        }
        if (year < 9999) {
            std::snprintf(text, sizeof text, "%04d-W53-1", year);
            EXPECT_EQ(parse_iso_week(text).has_value(), weeks_in_iso_year(year) == 53) << text;
        }
    }
}

// ---- RFC 2822 ----

TEST(Rfc2822, ZoneForms) {
    const Case cases[] = {
        {"Tue, 1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 -0130", "2003-07-01T12:22:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 -0000", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +2559", "2003-06-30T08:53:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 UT", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 GMT", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 gmt", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 EDT", "2003-07-01T14:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 EST", "2003-07-01T15:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 CDT", "2003-07-01T15:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 cst", "2003-07-01T16:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 MDT", "2003-07-01T16:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 MST", "2003-07-01T17:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 PDT", "2003-07-01T17:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 Pst", "2003-07-01T18:52:37Z"},
        // Military letters and unknown names carry no trustworthy offset.
        {"Tue, 1 Jul 2003 10:52:37 Z", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 a", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 M", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 Y", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 UTC", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 CEST", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 ABCDE", "2003-07-01T10:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 J", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 j", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 XY", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 ABCDEF", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +02:00", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +200", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +02000", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 0200", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0060", nullptr},  // minutes above 59
        {"Tue, 1 Jul 2003 10:52:37 +2600", nullptr},  // beyond ±25:59
        {"Tue, 1 Jul 2003 10:52:37 -9959", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 GMT+1", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +", nullptr},
        {"Tue, 1 Jul 2003 10:52:37", nullptr},       // no zone
        {"Tue, 1 Jul 2003 10:52:37+0200", nullptr},  // no space before the zone
        {"Tue, 1 Jul 2003 10:52:37(c)+0200", nullptr},
    };
    CHECK_ALL(parse_rfc2822, cases);
}

TEST(Rfc2822, DatesAndTimes) {
    const Case cases[] = {
        {"1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"tue, 01 jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"TUE, 1 JUL 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue,1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue , 1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"  Tue,\t1  Jul\t2003   10:52:37 \t +0200", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003\r\n 10:52:37 +0200", "2003-07-01T08:52:37Z"},  // folded header
        {"Tue, 1 Jul 2003 10:52 +0200", "2003-07-01T08:52:00Z"},       // seconds are optional
        {"Tue, 1 Jul 03 10:52:37 +0000", "2003-07-01T10:52:37Z"},
        {"1 Jul 49 00:00 +0000", "2049-07-01T00:00:00Z"},
        {"1 Jul 50 00:00 +0000", "1950-07-01T00:00:00Z"},
        {"1 Jul 99 00:00 +0000", "1999-07-01T00:00:00Z"},
        {"1 Jul 00 00:00 +0000", "2000-07-01T00:00:00Z"},
        {"1 Jul 103 00:00 +0000", "2003-07-01T00:00:00Z"},
        {"1 Jul 999 00:00 +0000", "2899-07-01T00:00:00Z"},
        {"1 Jul 0099 00:00 +0000", "0099-07-01T00:00:00Z"},
        {"Sat, 1 Jan 0000 00:00:00 +0000", "0000-01-01T00:00:00Z"},
        {"Fri, 31 Dec 9999 23:59:00 +2559", "9999-12-30T22:00:00Z"},  // the last second in range
        {"Fri, 31 Dec 9999 23:59:01 +2559", nullptr},
        {"Thu, 29 Feb 2024 23:59:59 +0000", "2024-02-29T23:59:59Z"},
        {"Fri, 31 Dec 9999 23:59:59 +0000", nullptr},  // past the calendar range
        {"Wed, 1 Jul 2003 10:52:37 +0200", nullptr},   // 1 July 2003 was a Tuesday
        {"Tuesday, 1 Jul 2003 10:52:37 +0200", nullptr},
        {"Tue 1 Jul 2003 10:52:37 +0200", nullptr},
        {"Tue, 1 July 2003 10:52:37 +0200", nullptr},
        {"Tue, 1 Jly 2003 10:52:37 +0200", nullptr},
        {", 1 Jul 2003 10:52:37 +0200", nullptr},
        {"Tue, 001 Jul 2003 10:52:37 +0200", nullptr},
        {"Tue, 1 Jul 2 10:52:37 +0200", nullptr},
        {"Tue, 1 Jul 02003 10:52:37 +0200", nullptr},
        {"Tue, 1Jul 2003 10:52:37 +0200", nullptr},
        {"Tue, 1 Jul2003 10:52:37 +0200", nullptr},
        {"Tue, 1 Jul 200310:52:37 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:52:60 +0200", nullptr},
        {"Tue, 1 Jul 2003 24:00:00 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:60:00 +0200", nullptr},
        {"Tue, 1 Jul 2003 1:52:37 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:5:37 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:52:3 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:52: +0200", nullptr},
        {"Tue, 1 Jul 2003 10 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:52:37.5 +0200", nullptr},
        {"Mon, 31 Jun 2003 10:52:37 +0200", nullptr},
        {"29 Feb 2023 00:00 +0000", nullptr},
        {"0 Jul 2003 10:52:37 +0200", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200 x", nullptr},  // trailing junk
        {"Tue, 1 Jul 2003 10:52:37 +0200,", nullptr},
        {"2003-07-01T10:52:37+02:00", nullptr},
        {"", nullptr},
    };
    CHECK_ALL(parse_rfc2822, cases);
}

TEST(Rfc2822, Comments) {
    const Case cases[] = {
        {"Tue, 1 Jul 2003 10:52:37 +0200 (CEST)", "2003-07-01T08:52:37Z"},
        {"(sent) Tue, 1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue(day), 1 Jul 2003 10:52:37 +0200", "2003-07-01T08:52:37Z"},
        {"Tue, 1(a)Jul(b)2003(c)10:52:37 (d)+0200(e)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 ((a)(b(c)))", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a \\) b)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a \\( b)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (Mitteleurop\xC3\xA4ische Zeit)", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 () ()", "2003-07-01T08:52:37Z"},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (unclosed", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200 ((a)", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a) (b", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a\\)", nullptr},  // the quoted ) does not close
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a\\", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200)", nullptr},
        {"Tue, 1 Jul 2003 10:52:37 +0200 (a))", nullptr},
        {"(only a comment)", nullptr},
    };
    CHECK_ALL(parse_rfc2822, cases);
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
