// The string path's own parsers: ISO 8601 / RFC 3339 / RFC 9557 date-times,
// ASN.1 times and the time claims of JSON Web Tokens.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <utility>

#include "formats/asn1_time.hpp"
#include "formats/iso8601.hpp"
#include "formats/jwt_claims.hpp"
#include "core/instant.hpp"

#include "base64url_encode.hpp"

namespace epochsift {
namespace {

// What a parser gave, as UTC text; "" when it refused.
std::string utc(std::optional<PosixNs> t) { return t ? t->to_rfc3339().value_or("unrenderable") : ""; }

constexpr const char* NOON = "2024-05-01T12:00:00Z";

TEST(Iso8601, Forms) {
    struct Case {
        const char* text;
        const char* utc;
    };
    const Case cases[] = {
        {"20240501T120000Z", NOON},  // basic and extended, chosen apart for date and time
        {"2024-05-01T120000Z", NOON},
        {"2024-05-01T12Z", NOON},  // reduced times
        {"2024-05-01T1234Z", "2024-05-01T12:34:00Z"},
        {"2024-05-01T12+02", "2024-05-01T10:00:00Z"},  // offsets
        {"2024-05-01T12:00:00+05:45:30", "2024-05-01T06:14:30Z"},
        {"2024-05-01T12:00:00+054530", "2024-05-01T06:14:30Z"},
        {"2024-05-01T12:00:00+25:59", "2024-04-30T10:01:00Z"},
        {"2024-05-01T120000,123456789Z", "2024-05-01T12:00:00.123456789Z"},
        {"2016-12-31T23:59:60.25Z", "2016-12-31T23:59:59.25Z"},  // a leap second reads as the one before
        {"+002024-05-01T12:00:00Z", NOON},                        // signed six-digit years
        {"-0000010101T00Z", "-000001-01-01T00:00:00Z"},
        // The calendar's ends, reached through the widest offsets.
        {"9999-12-31T23:59:59+25:59:59", "9999-12-30T22:00:00Z"},
        {"9999-12-30T22:00:01Z", ""},
        {"-009999-01-01T00:00:00-25:59:59", "-009999-01-02T01:59:59Z"},
        {"-009999-01-01T00:00:00-25:59:58", ""},
        {"-009999-01-02T01:59:58.999999999Z", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(utc(parse_iso8601(c.text)), c.utc) << c.text;
}

// One text a way of failing: a missing piece, each field's range, the forms
// mixed, trailing text.
TEST(Iso8601, NearMisses) {
    for (const char* text : {
             "2024-05-01", "2024-05-01T12:00:00", "2024-05-01T", "2024-05-01  12:00:00Z",  // missing pieces
             "2024-05-01T12:00:00.1234567890Z", "2024-05-01T12:00:00.Z", "2024-05-01T12:00.5Z",  // fractions
             "2024-05-01T12:00:00.0123456789Z",  // ten digits, whatever the first nine would give
             "2024-0501T12:00:00Z", "2024-05-01T12:0000Z", "2024-05-01T12:00:00+02:0000", "2024-05-01T12:00:00Zx",
             "2024-05-01T24:00:00Z", "2024-05-01T12:60:00Z", "2024-05-01T12:00:61Z", "2023-02-29T12:00:00Z",
             "24-05-01T12:00:00Z", "2024-05-01T12:00:00+26:00", "2024-05-01T12:00:00+02:60",
             "2024-05-01T12:00:00+02:00:60", "2024-05-01T12:00:00+2", "2024-05-01T12:00:00\xE2\x88\x92" "02:00",
             "-000000-01-01T00:00:00Z", "+02024-05-01T12:00:00Z", "+010000-01-01T00:00:00Z",  // years
         }) {
        EXPECT_FALSE(parse_iso8601(text)) << text;
    }
}

// RFC 9557 suffixes never move the instant; a bad one refuses the text.
TEST(Iso8601, Suffixes) {
    for (const char* suffix : {
             "[!Europe/Paris]", "[Etc/GMT+5]", "[+01:00]", "[-0130]", "[!+01]", "[!u-ca=islamic-umalqura]",
             "[Europe/Paris][u-ca=iso8601]", "[u-ca=gregory][u-ca=japanese]",  // neither critical: the first stands
             "[x-vendor=a1-b2][_k=v]",                                         // unknown keys, not critical
         }) {
        EXPECT_EQ(utc(parse_iso8601(std::string("2024-05-01T12:00:00Z") + suffix)), NOON) << suffix;
    }
    for (const char* suffix : {
             "[]", "[Europe/Paris", "[Europe/Paris]x", "[!x-vendor=a]",           // unknown critical key
             "[Europe/Paris][Europe/Paris]", "[u-ca=gregory][Europe/Paris]",      // a time zone after the first
             "[!u-ca=gregory][u-ca=japanese]", "[u-ca=gregory][!u-ca=japanese]",  // repeated, one critical
             "[U-CA=gregory]", "[u-ca=]", "[u-ca=a--b]", "[+01:00:00]",           // keys, values, offsets
             "[Europe//Paris]", "[..]", "[Europe Paris]",                         // zone names
         }) {
        EXPECT_FALSE(parse_iso8601(std::string("2024-05-01T12:00:00Z") + suffix)) << suffix;
    }
}

// The common shape "YYYY-MM-DDTHH:MM:SS[.f]Z" with every field drawn past
// its range as often as within it, against the C library's timegm: a text
// is read when timegm leaves its fields as they were (a second of 60 read
// as 59), and then as timegm's instant.
TEST(Iso8601, CommonShapeAgainstTimegm) {
    std::mt19937_64 random(25);
    auto draw = [&](int low, int high) { return static_cast<int>(low + random() % static_cast<uint64_t>(high - low + 1)); };
    for (int i = 0; i < 200'000; ++i) {
        int const year = draw(1, 9998), month = draw(0, 13), day = draw(0, 32);
        int const hour = draw(0, 25), minute = draw(0, 61), second = draw(0, 62);
        char text[48];
        int const digits = draw(0, 3) == 0 ? draw(1, 9) : 0;
        std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d%s%.*sZ", year, month, day, " tT"[i % 3], hour,
                      minute, second, digits ? "." : "", digits, "123456789");
        std::tm fields{};
        fields.tm_year = year - 1900;
        fields.tm_mon = month - 1;
        fields.tm_mday = day;
        fields.tm_hour = hour;
        fields.tm_min = minute;
        fields.tm_sec = second == 60 ? 59 : second;
        std::tm const asked = fields;
        time_t const seconds = timegm(&fields);
        bool const valid = hour <= 23 && minute <= 59 && second <= 60 && fields.tm_year == asked.tm_year &&
                           fields.tm_mon == asked.tm_mon && fields.tm_mday == asked.tm_mday &&
                           fields.tm_hour == asked.tm_hour && fields.tm_min == asked.tm_min && fields.tm_sec == asked.tm_sec;
        int64_t fraction = 0;
        for (int k = 0; k < 9; ++k) fraction = fraction * 10 + (k < digits ? k + 1 : 0);
        auto const read = parse_iso8601(text);
        if (!valid) {
            EXPECT_FALSE(read) << text;
            continue;
        }
        EXPECT_EQ(read, PosixNs::from_seconds(seconds, fraction)) << text;
    }
}

// Every rendering reads back as the instant it came from, over the whole
// calendar including negative and six-digit years; so does the same instant
// written at any offset, with any separator, fraction mark and trailing zeros.
TEST(Iso8601, ReadsBackEveryRendering) {
    std::mt19937_64 random(20240501);
    std::uniform_int_distribution<int64_t> seconds(MIN_CALENDAR_SECOND, MAX_CALENDAR_SECOND);
    std::uniform_int_distribution<int64_t> nanos(0, NS_PER_SECOND - 1);
    std::uniform_int_distribution<int> offset_minutes(-(23 * 60 + 59), 23 * 60 + 59);
    for (int i = 0; i < 100'000; ++i) {
        // Half the cases whole seconds, so the fraction-free form is covered.
        PosixNs const t = PosixNs::from_seconds(seconds(random), i % 2 == 0 ? 0 : nanos(random));
        auto const text = t.to_rfc3339();
        ASSERT_TRUE(text);
        EXPECT_EQ(parse_iso8601(*text), t) << *text;

        int const offset = offset_minutes(random);
        auto local = PosixNs{t.ns + i128{offset} * 60 * NS_PER_SECOND}.to_rfc3339();
        if (!local) continue;  // the wall-clock time lies past the calendar
        local->pop_back();     // its Z
        if (auto const point = local->find('.'); point != std::string::npos) {
            local->append(random() % (11 - (local->size() - point)), '0');  // up to nine digits
            if (random() % 2) (*local)[point] = ',';
        }
        (*local)[local->find('T')] = " tT"[random() % 3];
        char zone[16];
        std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                      std::abs(offset) % 60);
        *local += offset == 0 && random() % 2 ? "z" : zone;
        EXPECT_EQ(parse_iso8601(*local), t) << *local;
    }
    for (PosixNs const t : {PosixNs::from_seconds(MIN_CALENDAR_SECOND), PosixNs::from_seconds(MAX_CALENDAR_SECOND, 999'999'999),
                            PosixNs{-1}, PosixNs{0}}) {
        EXPECT_EQ(parse_iso8601(*t.to_rfc3339()), t) << *t.to_rfc3339();
    }
}

// A prefix of a valid text is never itself taken, except where the cut
// leaves a shorter valid form (an offset or fraction that may stop early).
TEST(Iso8601, PrefixesOfAFullTextFailUnlessComplete) {
    std::string const full = "2024-05-01T12:34:56.789+05:30[Asia/Kolkata][u-ca=gregory]";
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::string_view const prefix(full.data(), n);
        bool const complete = prefix == "2024-05-01T12:34:56.789+05" || prefix == "2024-05-01T12:34:56.789+05:30" ||
                              prefix == "2024-05-01T12:34:56.789+05:30[Asia/Kolkata]";
        EXPECT_EQ(parse_iso8601(prefix).has_value(), complete) << prefix;
    }
    EXPECT_TRUE(parse_iso8601(full));
}

TEST(Iso8601, LongSuffixRunsAreReadToTheEnd) {
    std::string text = "2024-05-01T12:00:00Z[Europe/Paris]";
    for (int i = 0; i < 100'000; ++i) text += "[x-k=v]";
    EXPECT_TRUE(parse_iso8601(text));
    text += "[!x-k=v]";  // one unknown critical key at the very end still fails
    EXPECT_FALSE(parse_iso8601(text));
    EXPECT_FALSE(parse_iso8601(std::string_view("2024-05-01T12:00:00Z\0", 21)));
}

// Two-digit and four-digit years of one text and an offset: test_asn1_readings.
TEST(Asn1, Forms) {
    struct Case {
        const char* text;
        int year_digits;
        const char* utc;
        bool has_designator;
    };
    const Case cases[] = {
        {"20240501120000Z", 4, NOON, true},
        {"20240501120000", 4, NOON, false},  // no zone: read as UTC
        {"2024050112Z", 4, NOON, true},      // minutes and seconds may go
        {"20240501120000,123456789987Z", 4, "2024-05-01T12:00:00.123456789Z", true},
        {"2405011200+0100", 2, "2024-05-01T11:00:00Z", true},
        {"240501120000.25Z", 2, "2024-05-01T12:00:00.25Z", true},
        {"490101000000Z", 2, "2049-01-01T00:00:00Z", true},  // the pivot
        {"500101000000Z", 2, "1950-01-01T00:00:00Z", true},
    };
    for (const Case& c : cases) {
        auto const parsed = parse_asn1(c.text, c.year_digits);
        ASSERT_TRUE(parsed) << c.text << " " << c.year_digits;
        EXPECT_EQ(utc(parsed->instant), c.utc) << c.text << " " << c.year_digits;
        EXPECT_EQ(parsed->has_designator, c.has_designator) << c.text;
    }
    for (const char* text : {"20240501120000+2400", "20240501120000+0160",  // a malformed offset is no missing zone
                             "20240501120000.Z", "202405011200.5Z",  // fractions need digits, and seconds before them
                             "20240501120060Z", "20240231120000Z", "2024050112000Z", "2024-05-01Z", ""}) {
        EXPECT_FALSE(parse_asn1(text, 4)) << text;
    }
    EXPECT_FALSE(parse_asn1("20240501120000Z", 3));  // only 2 or 4 year digits
}

using test_support::base64url;

// The claims read from a token, "iat=1 exp=2"; "" for none, "refused" when the
// token is not one.
std::string claims_of(std::string_view token) {
    auto const claims = parse_jwt_claims(token);
    if (!claims) return "refused";
    std::string out;
    std::pair<const char*, std::optional<int64_t>> const fields[] = {
        {"iat", claims->iat}, {"exp", claims->exp}, {"nbf", claims->nbf}};
    for (auto const& [name, value] : fields) {
        if (!value) continue;
        if (!out.empty()) out += ' ';
        out.append(name).append("=").append(std::to_string(*value));
    }
    return out;
}

std::string token(std::string_view payload) { return "h." + base64url(payload) + ".s"; }

// All three claims in one token: test_jwt_claims_in_fixed_order.
TEST(Jwt, Payloads) {
    struct Case {
        std::string payload;
        const char* claims;
    };
    const Case cases[] = {
        {" \t\n{\"iat\":5}\r\n ", "iat=5"},
        {R"({"iat":-0,"exp":-20})", "iat=0 exp=-20"},
        {R"({"iat":9223372036854775807,"exp":-9223372036854775808})", "iat=9223372036854775807 exp=-9223372036854775808"},
        {R"({"iat":1,"iat":2})", "iat=2"},  // the last duplicate counts, usable or not
        {R"({"iat":1,"iat":"2"})", ""},
        {R"({"iat":true,"exp":null,"nbf":[1]})", ""},
        {R"({"a":{"iat":1},"b":[{"exp":2}]})", ""},  // only top-level members
        {R"([{"iat":1}])", ""},
        {"1700000000", ""},
        {"{\"s\":\"caf\xC3\xA9 \\ud83d\\ude00\",\"iat\":7}", "iat=7"},
    };
    for (const Case& c : cases) EXPECT_EQ(claims_of(token(c.payload)), c.claims) << c.payload;
    // No strict UTF-8 JSON document: a NUL is no end, 1e400 is out of binary64 range.
    std::string const refused[] = {"", R"({"iat":1}x)", R"({"iat":01})", R"({"iat":1e400})", R"({"iat":1} // c)",
                                   "{\"s\":\"\xFF\",\"iat\":1}", R"({"s":"\ud800","iat":1})",
                                   "{\"s\":\"a\tb\",\"iat\":1}", std::string("{\"iat\":1}\0", 10)};
    for (std::string const& payload : refused) EXPECT_EQ(claims_of(token(payload)), "refused") << payload;
    // Only integers in 64 bits are claims; the other claims still count.
    for (const char* value : {"9223372036854775808", "-9223372036854775809", "18446744073709551616", "1700000000.0",
                              "1.7e9", "17E8", "\"1700000000\"", "{\"iat\":1}"}) {
        EXPECT_EQ(claims_of(token(std::string("{\"iat\":") + value + ",\"exp\":1}")), "exp=1") << value;
    }
    auto const nested = [](int depth) {  // the top-level object is the first level
        return token("{\"iat\":1,\"deep\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}");
    };
    EXPECT_EQ(claims_of(nested(128)), "iat=1");
    EXPECT_EQ(claims_of(nested(129)), "refused");
}

TEST(Jwt, Segments) {
    std::string const payload = base64url(R"({"iat":1700000000})");  // 18 bytes, 24 symbols
    EXPECT_EQ(claims_of("." + payload + "."), "iat=1700000000");  // header and signature are not read
    EXPECT_EQ(claims_of("!!not base64!!." + payload + ".*** ***"), "iat=1700000000");
    EXPECT_EQ(claims_of("h." + payload + "==.s"), "iat=1700000000");
    EXPECT_EQ(claims_of("h." + payload + "=+/!junk.s"), "iat=1700000000");  // the first = ends the data
    for (char extra : std::string("A_-9")) {  // 4k+1 symbols: the last gives no byte
        EXPECT_EQ(claims_of("h." + payload + extra + ".s"), "iat=1700000000") << extra;
    }
    for (const char* bad : {"+", "/", " ", "\xC3\xA9", "*"}) {  // outside base64url
        EXPECT_EQ(claims_of("h." + payload.substr(0, 8) + bad + payload.substr(8) + ".s"), "refused") << bad;
    }
    EXPECT_EQ(claims_of("h." + payload + ".s."), "refused");  // four segments
    EXPECT_EQ(claims_of("h" + payload + ".s"), "refused");     // one dot
    EXPECT_EQ(claims_of("h..s"), "refused");                   // no payload
    EXPECT_EQ(claims_of(payload), "refused");
    // 300 000 "[" bytes are refused without recursing.
    std::string deep = "h.";
    for (int i = 0; i < 100'000; ++i) deep += "W1tb";
    EXPECT_EQ(claims_of(deep + ".s"), "refused");
}

}  // namespace
}  // namespace epochsift
