// The readers behind the extended inputs: hex bytes, binary records, two-part
// values, wall-clock text and time-bearing identifiers. Expected instants come
// from the formats' documentation, real tools (date, node, python) or an
// independent encoding in Python's struct module, noted per case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/leap_seconds.hpp"
#include "formats/byte_layouts.hpp"
#include "formats/hex_bytes.hpp"
#include "formats/token_identifiers.hpp"
#include "formats/two_part.hpp"
#include "formats/wall_clock_text.hpp"

namespace epochsift {
namespace {

std::string rendered(std::optional<PosixNs> instant) {
    return instant ? instant->to_rfc3339().value_or("unrenderable") : "none";
}
std::string rendered(std::optional<FormInstant> found) {
    return found ? rendered(std::optional<PosixNs>(found->instant)) : "none";
}
std::string rendered(std::optional<LayoutInstant> found) {
    return found ? rendered(std::optional<PosixNs>(found->instant)) : "none";
}

std::vector<uint8_t> bytes_of(std::string_view hex) {
    auto const parsed = parse_hex_bytes(hex);
    if (!parsed) return {};
    return {parsed->bytes.begin(), parsed->bytes.begin() + parsed->size};
}

// ---- hex bytes ----

// The forms Python's bytes.hex and time-decode's examples do not write; those
// are read in test_extended_inputs.py and test_peer_examples.py.
TEST(HexBytes, AcceptedSpellings) {
    struct Case {
        const char* text;
        const char* bytes;  // the same bytes, plain lower case
    };
    for (Case const& c : std::initializer_list<Case>{
             {"0X1", "01"},
             {"0xaa bb", "aabb"},
             {"1234", "1234"},  // only with --hex: see below
         }) {
        bool const decimal = std::string_view(c.text).find_first_not_of("0123456789") == std::string_view::npos;
        auto const parsed = parse_hex_bytes(c.text, decimal);
        ASSERT_TRUE(parsed) << c.text;
        std::string hex;
        for (uint8_t b : parsed->view()) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02x", b);
            hex += buf;
        }
        EXPECT_EQ(hex, c.bytes) << c.text;
    }
}

TEST(HexBytes, Refusals) {
    for (const char* text : {
             "1700000000",                          // decimal digits stay decimal
             "123",                                 // odd without a prefix
             "0x",                                  // no digits
             "00112233445566778899aabbccddeeff00",  // 17 bytes
             "aa bb:cc",                            // mixed separators
             "aa  bb",                              // doubled separator
             "aab bcc",                             // separator off the byte boundary
             "2024-07-21",                          // a date, not byte pairs
             "zz",                                  // not hex
             "aa bb ",                              // trailing separator
         }) {
        EXPECT_FALSE(parse_hex_bytes(text)) << text;
    }
}

TEST(HexBytes, ValuesInBothOrders) {
    auto const b = bytes_of("aed19dd607bddb01");
    EXPECT_EQ(unsigned_value(b, ByteOrder::Little), 0x01dbbd07d69dd1aeull);
    EXPECT_EQ(unsigned_value(b, ByteOrder::Big), 0xaed19dd607bddb01ull);
    auto const two = bytes_of("ff fe");
    EXPECT_EQ(signed_value(two, ByteOrder::Big), -2);
    EXPECT_EQ(signed_value(two, ByteOrder::Little), -257);
    EXPECT_EQ(unsigned_value(two, ByteOrder::Little), 0xfeffu);
}

// ---- binary records ----

// The layouts time-decode also reads (systemtime, parquet_int96, btrfs,
// mysql_datetime) are checked at its examples in test_peer_examples.py.
TEST(ByteLayouts, DocumentedAndIndependentlyEncoded) {
    struct Case {
        ByteDecoder decode;
        const char* hex;
        const char* utc;
        bool zone_unstated;
    };
    for (Case const& c : std::initializer_list<Case>{
             // struct.pack('<HBBBBBBIhBB', 2024, 7, 21, 5, 43, 47, 0, 123456789, 0x7ff, 0, 0)
             {decode_efi_time, "e8070715052b2f0015cd5b07ff070000", "2024-07-21T05:43:47.123456789Z", true},
             // libtai: 400000002a2b2c2d is 1992-06-02 08:07:09 TAI; TAI - UTC was 26 s
             {decode_tai64, "400000002a2b2c2d", "1992-06-02T08:06:43Z", false},
             {decode_tai64n, "400000002a2b2c2d00000005", "1992-06-02T08:06:43.000000005Z", false},
             // struct.pack('<HhBBBBBBBB', 1 << 12 | 120, 2024, 7, 21, 7, 43, 47, 12, 34, 56): +02:00
             {decode_udf, "7810e8070715072b2f0c2238", "2024-07-21T05:43:47.123456Z", false},
             // bytes([124, 7, 21, 7, 43, 47, 8]): eight quarter-hours east
             {decode_iso9660, "7c0715072b2f08", "2024-07-21T05:43:47Z", false},
             // Oracle DUMP Typ=12: 120,124,7,21,6,44,48
             {decode_oracle_date, "787c0715062c30", "2024-07-21T05:43:47Z", true},
             {decode_dos_date_time, "f558772d", "2024-07-21T05:43:46Z", true},  // seconds count in twos
         }) {
        auto const b = bytes_of(c.hex);
        auto const found = c.decode(b);
        EXPECT_EQ(rendered(found), c.utc) << c.hex;
        if (found) EXPECT_EQ(found->zone_unstated, c.zone_unstated) << c.hex;
    }
}

TEST(ByteLayouts, Refusals) {
    EXPECT_FALSE(decode_systemtime(bytes_of("e80707000100150005002b002f007b00")));  // Monday on a Sunday
    EXPECT_FALSE(decode_systemtime(bytes_of("e80707000000150005002b002f00e803")));  // 1000 ms
    EXPECT_FALSE(decode_efi_time(bytes_of("e8070715052b2f0015cd5b073c000000")));    // a stated zone of +60
    EXPECT_FALSE(decode_parquet_int96(bytes_of("0000ffffffffffff678a2500")));       // more than a day of ns
    EXPECT_FALSE(decode_tai64n(bytes_of("400000002a2b2c2d3b9aca00")));              // 10^9 ns
    EXPECT_FALSE(decode_tai64(bytes_of("000000002a2b2c2d")));                       // before the 2^62 origin
    EXPECT_FALSE(decode_udf(bytes_of("7820e8070715072b2f0c2238")));                 // type 2
    EXPECT_FALSE(decode_oracle_date(bytes_of("787c0715002c30")));                   // hour byte 0
    EXPECT_FALSE(decode_mysql_datetime(bytes_of("19b3ea5aef")));                    // negative sign bit
    EXPECT_FALSE(decode_iso9660(bytes_of("7c0715072b2f40")));                       // offset past +13:00
}

TEST(LeapSeconds, DifferenceAtKnownInstants) {
    // Bulletin C: 10 s from 1972, 37 s since 2017-01-01.
    EXPECT_EQ(tai_minus_utc_at_tai(0), 10);
    EXPECT_EQ(tai_minus_utc_at_tai(1483228800 + 37), 37);
    EXPECT_EQ(tai_minus_utc_at_tai(1483228800 + 36), 36);  // the leap second itself
    EXPECT_EQ(tai_minus_utc_at_tai(915148800 + 32), 32);   // 1999-01-01
}

// ---- two-part values ----

TEST(TwoPart, WordPairs) {
    auto const pair = parse_hex_word_pair("01dbbd07:d69dd1ae");
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->first_high(), 0x01dbbd07d69dd1aeull);
    EXPECT_EQ(pair->first_low(), 0xd69dd1ae01dbbd07ull);
    EXPECT_TRUE(parse_hex_word_pair("0x01DBBD07:0xD69DD1AE"));
    EXPECT_FALSE(parse_hex_word_pair("12:30"));          // decimal on both sides
    EXPECT_FALSE(parse_hex_word_pair("101dbbd07:0"));    // nine digits
    EXPECT_FALSE(parse_hex_word_pair("01dbbd07:d6:9d"));  // three parts
    auto const cookie = parse_decimal_word_pair("3600775552,30393795");
    ASSERT_TRUE(cookie);
    EXPECT_EQ(cookie->first_low(), uint64_t{30393795} << 32 | 3600775552u);
    EXPECT_FALSE(parse_decimal_word_pair("4294967296,1"));  // not a 32-bit word
}

TEST(TwoPart, SecondsNanoseconds) {
    EXPECT_EQ(rendered(parse_seconds_nanoseconds("1700000000:123456789")), "2023-11-14T22:13:20.123456789Z");
    EXPECT_EQ(rendered(parse_seconds_nanoseconds("1700000000:5")), "2023-11-14T22:13:20.000000005Z");
    EXPECT_FALSE(parse_seconds_nanoseconds("1700000000:1234567890"));  // ten digits of nanoseconds
    EXPECT_FALSE(parse_seconds_nanoseconds("1700000000:"));
}

// ---- wall-clock text ----

TEST(WallClockText, RealToolOutput) {
    struct Case {
        std::optional<FormInstant> (*parse)(std::string_view);
        const char* text;
        const char* utc;
        bool zone_unstated;
    };
    for (Case const& c : std::initializer_list<Case>{
             {parse_iso_wall_clock, "2024-07-21 05:43:47", "2024-07-21T05:43:47Z", true},
             // python: datetime(2006, 7, 28, 19, 11, 56, 201442).isoformat()
             {parse_iso_wall_clock, "2006-07-28T19:11:56.201442", "2006-07-28T19:11:56.201442Z", true},
             {parse_iso_wall_clock, "2024-07-21", "2024-07-21T00:00:00Z", true},
             {parse_iso_wall_clock, "2024-07-21T05:43", "2024-07-21T05:43:00Z", true},
             // git log --format=%ci
             {parse_iso_space_offset, "2015-01-17 22:28:13 +0530", "2015-01-17T16:58:13Z", false},
             // LC_ALL=C TZ=UTC date -d @1783341201
             {parse_ctime, "Mon Jul  6 12:33:21 UTC 2026", "2026-07-06T12:33:21Z", false},
             // TZ=Asia/Kolkata date -d @1700000000: the abbreviation is not read
             {parse_ctime, "Wed Nov 15 03:43:20 IST 2023", "2023-11-15T03:43:20Z", true},
             // LC_ALL=C date -d @1783341201 under America/New_York and America/Sao_Paulo: RFC 5322's US
             // names and tzdata's numeric names state the offset
             {parse_ctime, "Mon Jul  6 08:33:21 EDT 2026", "2026-07-06T12:33:21Z", false},
             {parse_ctime, "Tue Nov 14 19:13:20 -03 2023", "2023-11-14T22:13:20Z", false},
             // TZ=America/St_Johns stat -c %y of a file touched at @1326912266.060985999
             {parse_iso_space_offset, "2012-01-18 15:14:26.060985999 -0330", "2012-01-18T18:44:26.060985999Z", false},
             // python: time.asctime(time.gmtime(1783341201)); time.ctime(0) under UTC
             {parse_ctime, "Mon Jul  6 12:33:21 2026", "2026-07-06T12:33:21Z", true},
             {parse_ctime, "Thu Jan  1 00:00:00 1970", "1970-01-01T00:00:00Z", true},
             // TZ=Europe/Berlin node -e 'console.log(new Date(1700000000000).toString())'
             {parse_js_date_string, "Tue Nov 14 2023 23:13:20 GMT+0100 (Central European Standard Time)",
              "2023-11-14T22:13:20Z", false},
             // TZ=America/New_York node -e 'console.log(new Date(0).toString())'
             {parse_js_date_string, "Wed Dec 31 1969 19:00:00 GMT-0500 (Eastern Standard Time)",
              "1970-01-01T00:00:00Z", false},
             {parse_js_date_string, "Tue Nov 14 2023 22:13:20 GMT+0000", "2023-11-14T22:13:20Z", false},
         }) {
        auto const found = c.parse(c.text);
        EXPECT_EQ(rendered(found), c.utc) << c.text;
        if (found) EXPECT_EQ(found->zone_unstated, c.zone_unstated) << c.text;
    }
}

TEST(WallClockText, Refusals) {
    EXPECT_FALSE(parse_iso_wall_clock("2024-07-21T05:43:47Z"));     // an offset: ISO 8601 proper
    EXPECT_FALSE(parse_iso_wall_clock("2024-07-21T05:43:47+02:00"));
    EXPECT_FALSE(parse_iso_wall_clock("2024-02-30"));
    EXPECT_FALSE(parse_iso_wall_clock("2024-07-21T05"));
    EXPECT_FALSE(parse_iso_space_offset("2015-01-17 22:28:13 +05:30"));
    EXPECT_FALSE(parse_ctime("Tue Jul  6 12:33:21 2026"));  // Monday, not Tuesday
    EXPECT_FALSE(parse_ctime("Mon Jul 6 12:33:21 2026 extra"));
    EXPECT_FALSE(parse_js_date_string("Tue Nov 14 2023 23:13:20 GMT+0100 (unclosed"));
    EXPECT_FALSE(parse_js_date_string("Wed Nov 14 2023 23:13:20 GMT+0100"));
}

TEST(WallClockText, SyslogNeedsAWindowThatFixesTheYear) {
    PosixNs const start_2023 = PosixNs::from_seconds(1672531200);  // 2023-01-01
    PosixNs const start_2024 = PosixNs::from_seconds(1704067200);  // 2024-01-01
    PosixNs const start_2025 = PosixNs::from_seconds(1735689600);
    EXPECT_EQ(rendered(parse_syslog("Nov 14 22:13:20", start_2023, start_2024)), "2023-11-14T22:13:20Z");
    EXPECT_EQ(rendered(parse_syslog("Jan  2 03:04:05", start_2023, start_2024)), "2023-01-02T03:04:05Z");
    EXPECT_FALSE(parse_syslog("Nov 14 22:13:20", start_2023, start_2025));  // two years fit
    EXPECT_FALSE(parse_syslog("Feb 29 00:00:00", start_2023, start_2024));  // no such day in 2023
    // A window from mid-November to mid-February fixes the year of both ends.
    PosixNs const mid_nov = PosixNs::from_seconds(1699920000), mid_feb = PosixNs::from_seconds(1707955200);
    EXPECT_EQ(rendered(parse_syslog("Jan  2 03:04:05", mid_nov, mid_feb)), "2024-01-02T03:04:05Z");
}

// ---- identifiers ----

// xid, Bluesky TIDs, Firebase push IDs and the GA and fbp cookies: at
// time-decode's examples in test_peer_examples.py.
TEST(TokenIdentifiers, PublishedExamples) {
    struct Case {
        std::optional<PosixNs> (*parse)(std::string_view);
        const char* text;
        const char* utc;
    };
    for (Case const& c : std::initializer_list<Case>{
             // segmentio/ksuid README: "Time: 2017-10-09 21:00:47 -0700 PDT", timestamp 107608047
             {parse_ksuid, "0ujtsYcgvSTl8PAuAdqWYSMnLOv", "2017-10-10T04:00:47Z"},
             {parse_ksuid, "000000000000000000000000000", "2014-05-13T16:53:20Z"},
             // Fernet's published test vector (now = 1985-10-26T01:20:00-07:00)
             {parse_fernet,
              "gAAAAAAdwJ6wAAECAwQFBgcICQoLDA0ODy021cpGVWKZ_eEwCGM4BLLF_5CV9dOPmrhuVUPgJobwOz7JcbmrR64jVmpU4IwqDA==",
              "1985-10-26T08:20:00Z"},
         }) {
        EXPECT_EQ(rendered(c.parse(c.text)), c.utc) << c.text;
    }
}

TEST(TokenIdentifiers, Refusals) {
    EXPECT_FALSE(parse_ksuid("aWgEPTl1tmebfsQzFP4bxwgy80W"));  // one past the largest KSUID
    EXPECT_FALSE(parse_ksuid("0ujtsYcgvSTl8PAuAdqWYSMnLO"));   // 26 characters
    EXPECT_FALSE(parse_xid("9m4e2mr0ui3e8a215n4w"));           // w is not base32hex
    EXPECT_FALSE(parse_bluesky_tid("zjzfcijpj2z2a"));          // the top bit set
    EXPECT_FALSE(parse_firebase_push_id("-JhLeOlGIEjaIOFHR0x!"));
    EXPECT_FALSE(parse_fernet("hAAAAAAdwJ6wAAECAwQFBgcICQoLDA0ODy021cpGVWKZ_eEwCGM4BLLF_5CV9dOPmrhuVUPgJobwOz7JcbmrR64jVmpU4IwqDA=="));
    EXPECT_FALSE(parse_ga_cookie("GA1.2.1234567890"));
    EXPECT_FALSE(parse_fbp_cookie("fb.1.17.1116446470"));
}

}  // namespace
}  // namespace epochsift
