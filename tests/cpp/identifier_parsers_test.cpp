#include <gtest/gtest.h>

#include <random>
#include <string>

#include "formats/identifier_parsers.hpp"

namespace epochsift {
namespace {

using Parser = std::optional<PosixNs> (*)(std::string_view);

constexpr i128 GREGORIAN_OFFSET_NS = i128{12'219'292'800} * NS_PER_SECOND;

struct Case {
    Parser parse;
    const char* name;
    std::string text;
    i128 ns;
};

#define PARSER(p) p, #p

void check(const Case& c) {
    auto const got = c.parse(c.text);
    ASSERT_TRUE(got) << c.name << " refused " << c.text;
    EXPECT_TRUE(got->ns == c.ns) << c.name << " " << c.text << " gave " << got->to_rfc3339().value_or("?");
}

constexpr i128 ms(int64_t v) { return i128{v} * 1'000'000; }
constexpr i128 s(int64_t v) { return i128{v} * NS_PER_SECOND; }

TEST(IdentifierParsers, Examples) {
    const Case cases[] = {
        {PARSER(parse_ulid), "01ARZ3NDEKTSV4RRFFQ69G5FAV", ms(1'469'922'850'259)},
        {PARSER(parse_ulid), "01arz3ndektsv4rrffq69g5fav", ms(1'469'922'850'259)},
        {PARSER(parse_ulid), "7ZZZZZZZZZZZZZZZZZZZZZZZZZ", ms(281'474'976'710'655)},
        {PARSER(parse_uuid_v1), "C232AB00-9414-11EC-B3C8-9F6BDECED846", s(1'645'557'742)},
        {PARSER(parse_uuid_v1), "c232ab00941411ecb3c89f6bdeced846", s(1'645'557'742)},
        {PARSER(parse_uuid_v1), "c-232ab00941411ec-b3c89f--6bdeced846-", s(1'645'557'742)},
        {PARSER(parse_uuid_v6), "1EC9414C-232A-6B00-B3C8-9F6BDECED846", s(1'645'557'742)},
        {PARSER(parse_uuid_v7), "017F22E2-79B0-7CC3-98C4-DC0C0C07398F", ms(1'645'557'742'000)},
        {PARSER(parse_objectid), "507f1f77bcf86cd799439011", s(1'350'508'407)},
        {PARSER(parse_google_ei), "q=x&ei=APFTZQ&ved=1", s(1'700'000'000)},
        {PARSER(parse_google_ei), "ei=APFTZX", s(1'700'000'000)},  // low bits of the sixth symbol dropped
        {PARSER(parse_google_ei), "https://www.google.com/search?q=x&ei=APFTZQabc_-x&oq=y", s(1'700'000'000)},
        {PARSER(parse_google_ei), "ei=APFTZQei=AAAAAA", s(1'700'000'000)},  // the value stops at the next key
    };
    for (const Case& c : cases) check(c);
}

TEST(IdentifierParsers, NearMisses) {
    for (const char* text : {"81ARZ3NDEKTSV4RRFFQ69G5FAV",   // 130 bits
                             "01ARZ3NDEKTSV4RRFFQ69G5FA", "01ARZ3NDEKTSV4RRFFQ69G5FAVV",
                             "01ARZ3NDEKTSV4RRFFQ69G5FAI", "01ARZ3NDEKTSV4RRFFQ69G5FAl",  // no aliases
                             "01ARZ3NDEKTSV4RRFFQ69G5FAO", "01ARZ3NDEKTSV4RRFFQ69G5FAu",
                             "01ARZ3NDEKTSV4RRFFQ69G5F\xC3\xA9"}) {  // 26 bytes, one of them é
        EXPECT_FALSE(parse_ulid(text)) << text;
    }
    for (const char* text : {"{C232AB00-9414-11EC-B3C8-9F6BDECED846}", "urn:uuid:C232AB00-9414-11EC-B3C8-9F6BDECED846",
                             "C232AB00-9414-11EC-B3C8-9F6BDECED84", "C232AB00-9414-11EC-B3C8-9F6BDECED8466",
                             "C232AB00-9414-11EC-B3C8-9F6BDECED84G",  // non-hex past the time
                             "C232AB00-9414-41EC-B3C8-9F6BDECED846",  // version 4
                             "--------------------------------"}) {
        EXPECT_FALSE(parse_uuid_v1(text)) << text;
    }
    EXPECT_FALSE(parse_uuid_v6("C232AB00-9414-11EC-B3C8-9F6BDECED846"));  // version 1
    EXPECT_FALSE(parse_uuid_v7("1EC9414C-232A-6B00-B3C8-9F6BDECED846"));  // version 6
    for (const char* text : {"507f1f77bcf86cd79943901", "507f1f77bcf86cd7994390111", "507f1f77bcf86cd79943901z"}) {
        EXPECT_FALSE(parse_objectid(text)) << text;
    }
    for (const char* text : {"APFTZQ", "EI=APFTZQ", "ei=APFTZ",  // no key, five symbols
                             "ei=APF&TZQ", "ei=APF+ZQ",          // cut at &; standard base64, not urlsafe
                             "ei=APFei=TZQABC"}) {                // the first value stops at the second key
        EXPECT_FALSE(parse_google_ei(text)) << text;
    }
}

TEST(IdentifierParsers, GregorianTickBounds) {
    const Case cases[] = {
        {PARSER(parse_uuid_v1), "00000000-0000-1000-8000-000000000000", -GREGORIAN_OFFSET_NS},
        {PARSER(parse_uuid_v1), "FFFFFFFF-FFFF-1FFF-8000-000000000000", ((i128{1} << 60) - 1) * 100 - GREGORIAN_OFFSET_NS},
        {PARSER(parse_uuid_v6), "00000000-0000-6000-8000-000000000000", -GREGORIAN_OFFSET_NS},
        {PARSER(parse_uuid_v6), "FFFFFFFF-FFFF-6FFF-8000-000000000000", ((i128{1} << 60) - 1) * 100 - GREGORIAN_OFFSET_NS},
        {PARSER(parse_uuid_v7), "FFFFFFFF-FFFF-7FFF-8000-000000000000", ms(281'474'976'710'655)},
    };
    for (const Case& c : cases) check(c);
    EXPECT_FALSE(parse_ulid("7ZZZZZZZZZZZZZZZZZZZZZZZZZ")->to_rfc3339());  // year 10889
}

// Encoders written from the formats' layouts, independent of the parsers.

std::string hex(uint64_t value, int digits) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = DIGITS[value & 15];
    return out;
}

std::string uuid_text(uint64_t high, uint64_t low) {
    std::string const h = hex(high, 16), l = hex(low, 16);
    return h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + l.substr(0, 4) + "-" + l.substr(4);
}

std::string ulid_text(uint64_t millis, u128 random80) {
    static constexpr char ALPHABET[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    u128 const value = u128{millis} << 80 | random80;
    std::string out;
    for (int i = 0; i < 26; ++i) out += ALPHABET[static_cast<int>(value >> (125 - 5 * i)) & 31];
    return out;
}

std::string ei_text(uint32_t seconds, uint8_t next_byte) {
    static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    uint8_t const bytes[6] = {static_cast<uint8_t>(seconds), static_cast<uint8_t>(seconds >> 8),
                              static_cast<uint8_t>(seconds >> 16), static_cast<uint8_t>(seconds >> 24), next_byte, 0};
    std::string out = "ei=";
    for (int bit = 0; bit < 48; bit += 6) {
        int v = 0;
        for (int k = 0; k < 6; ++k) v = v << 1 | (bytes[(bit + k) / 8] >> (7 - (bit + k) % 8) & 1);
        out += ALPHABET[v];
    }
    return out + "&ved=0";
}

TEST(IdentifierParsers, RandomInstantsRoundTrip) {
    std::mt19937_64 rng(0x1D5EED);
    i128 const max_ticks_ns = ((i128{1} << 60) - 1) * 100 - GREGORIAN_OFFSET_NS;
    for (int i = 0; i < 5000; ++i) {
        uint64_t const r1 = rng(), r2 = rng();
        // Unix-millisecond identifiers: any instant from the epoch over 48 bits of ms.
        uint64_t const millis = rng() >> 16;
        i128 const ms_instant = ms(static_cast<int64_t>(millis)) + static_cast<int64_t>(r1 % 1'000'000);
        i128 const ms_floor = ms_instant - ms_instant % 1'000'000;
        std::string const ulid = ulid_text(millis, (u128{r1} << 64 | r2) & ((u128{1} << 80) - 1));
        ASSERT_TRUE(parse_ulid(ulid)) << ulid;
        EXPECT_TRUE(parse_ulid(ulid)->ns == ms_floor) << ulid;
        std::string const v7 = uuid_text(millis << 16 | 0x7000 | (r1 & 0xFFF), r2);
        ASSERT_TRUE(parse_uuid_v7(v7)) << v7;
        EXPECT_TRUE(parse_uuid_v7(v7)->ns == ms_floor) << v7;

        // Gregorian ticks: any instant from 1582-10-15 over 60 bits of 100 ns.
        i128 const span = max_ticks_ns + GREGORIAN_OFFSET_NS + 1;
        i128 const g_instant = static_cast<i128>((u128{r1} << 64 | r2) % static_cast<u128>(span)) - GREGORIAN_OFFSET_NS;
        auto const ticks = static_cast<uint64_t>((g_instant + GREGORIAN_OFFSET_NS) / 100);
        i128 const g_floor = i128{static_cast<int64_t>(ticks)} * 100 - GREGORIAN_OFFSET_NS;
        uint64_t const v1_high = (ticks & 0xFFFF'FFFF) << 32 | (ticks >> 32 & 0xFFFF) << 16 | 0x1000 | ticks >> 48;
        uint64_t const v6_high = (ticks >> 12) << 16 | 0x6000 | (ticks & 0xFFF);
        std::string const v1 = uuid_text(v1_high, r2), v6 = uuid_text(v6_high, r1);
        ASSERT_TRUE(parse_uuid_v1(v1)) << v1;
        EXPECT_TRUE(parse_uuid_v1(v1)->ns == g_floor) << v1;
        ASSERT_TRUE(parse_uuid_v6(v6)) << v6;
        EXPECT_TRUE(parse_uuid_v6(v6)->ns == g_floor) << v6;
        EXPECT_FALSE(parse_uuid_v6(v1) || parse_uuid_v7(v1) || parse_uuid_v1(v6)) << "versions must not overlap";

        // Unix-second identifiers.
        auto const seconds = static_cast<uint32_t>(r1 >> 32);
        std::string const oid = hex(seconds, 8) + hex(r2, 16);
        ASSERT_TRUE(parse_objectid(oid)) << oid;
        EXPECT_TRUE(parse_objectid(oid)->ns == s(seconds)) << oid;
        std::string const ei = ei_text(seconds, static_cast<uint8_t>(r2));
        ASSERT_TRUE(parse_google_ei(ei)) << ei;
        EXPECT_TRUE(parse_google_ei(ei)->ns == s(seconds)) << ei;
    }
}

}  // namespace
}  // namespace epochsift
