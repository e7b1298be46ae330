// TZif files: a hand-built version 1 file, the system's real files whole,
// cut short and corrupted, and leap-second ("right/") files against their
// plain twins.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "core/tzif.hpp"
#include "core/zone_directory.hpp"
#include "core/zone_rules.hpp"

namespace epochsift {
namespace {

std::vector<unsigned char> file_bytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

// RFC 8536 section 3: a version 1 file, one transition at 1 000 000 from
// "AAA" (+1:00) to "BBB" (+2:00, daylight saving).
std::vector<unsigned char> version_1_file() {
    std::vector<unsigned char> out{'T', 'Z', 'i', 'f', 0};
    out.resize(20, 0);
    for (uint32_t count : {0u, 0u, 0u, 1u, 2u, 8u}) put32(out, count);  // isut isstd leap time type char
    put32(out, 1'000'000);
    out.push_back(1);
    put32(out, 3600), out.push_back(0), out.push_back(0);
    put32(out, 7200), out.push_back(1), out.push_back(4);
    for (char c : {'A', 'A', 'A', '\0', 'B', 'B', 'B', '\0'}) out.push_back(static_cast<unsigned char>(c));
    return out;
}

TEST(Tzif, ReadsVersion1) {
    TzifResult const parsed = parse_tzif(version_1_file());
    ASSERT_TRUE(parsed.zone);
    ZoneRules const rules(*parsed.zone);
    EXPECT_EQ(rules.at(999'999).offset, 3600);
    EXPECT_EQ(rules.at(999'999).abbreviation, "AAA");
    EXPECT_EQ(rules.at(1'000'000).offset, 7200);
    EXPECT_TRUE(rules.at(1'000'000).is_dst);
    EXPECT_EQ(rules.at(1'000'000).abbreviation, "BBB");
    // The wall clocks 01:00 to 02:00 after 1 000 000 - 3600 are skipped.
    WallClockLookup const gap = rules.instants_of(1'000'000 + 5400);
    EXPECT_EQ(gap.count, 0);
    EXPECT_EQ(gap.before_gap.offset, 3600);
}

constexpr const char* REAL_ZONES[] = {
    "/usr/share/zoneinfo/Europe/Berlin", "/usr/share/zoneinfo/America/New_York",
    "/usr/share/zoneinfo/Australia/Lord_Howe", "/usr/share/zoneinfo/UTC",
};

// Every prefix of a real file is refused with a reason, never read past.
TEST(Tzif, EveryTruncationIsAnError) {
    for (const char* path : REAL_ZONES) {
        std::vector<unsigned char> const bytes = file_bytes(path);
        ASSERT_GT(bytes.size(), 44u) << path;
        ASSERT_TRUE(parse_tzif(bytes).zone) << path;
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            // A copy of exactly size bytes, so a sanitizer sees any read past it.
            std::vector<unsigned char> const cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            TzifResult const parsed = parse_tzif(cut);
            EXPECT_FALSE(parsed.zone) << path << " cut to " << size;
            EXPECT_NE(parsed.error, TzifError::None) << path << " cut to " << size;
        }
    }
}

// Random byte changes either give an error or a zone whose every lookup
// stays in bounds.
TEST(Tzif, CorruptedFilesFailCleanly) {
    std::mt19937_64 random(8536);
    for (const char* path : REAL_ZONES) {
        std::vector<unsigned char> const bytes = file_bytes(path);
        for (int round = 0; round < 400; ++round) {
            std::vector<unsigned char> changed = bytes;
            int const changes = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i) changed[random() % changed.size()] = static_cast<unsigned char>(random());
            TzifResult const parsed = parse_tzif(changed);
            if (!parsed.zone) {
                EXPECT_NE(parsed.error, TzifError::None);
                continue;
            }
            ZoneRules const rules(*parsed.zone);
            for (int64_t t = -4'000'000'000; t < 5'000'000'000; t += 86'400 * 97) {
                (void)rules.at(t);
                (void)rules.instants_of(t);
            }
        }
    }
}

// A "right/" file counts leap seconds in its transition times; read with
// the leap records it gives the same states as the plain file up to its
// last transition (it has no rule string to go on with).
TEST(Tzif, LeapSecondFilesMatchTheirPlainTwins) {
    for (const char* zone : {"Europe/Berlin", "America/New_York"}) {
        auto const right = parse_tzif(file_bytes((std::string("/usr/share/zoneinfo/right/") + zone).c_str()));
        auto const plain = parse_tzif(file_bytes((std::string("/usr/share/zoneinfo/") + zone).c_str()));
        if (!right.zone) GTEST_SKIP() << "no right/ zones installed";
        ASSERT_TRUE(plain.zone) << zone;
        ZoneRules const r(*right.zone), p(*plain.zone);
        ASSERT_FALSE(right.zone->transitions.empty());
        for (int64_t t = 0; t < right.zone->transitions.back(); t += 3'599) {
            ASSERT_EQ(r.at(t).offset, p.at(t).offset) << zone << " at " << t;
        }
        for (int64_t shift : plain.zone->transitions) {  // a second either side of each shift
            if (shift >= right.zone->transitions.back()) break;
            for (int64_t t : {shift - 1, shift}) ASSERT_EQ(r.at(t).offset, p.at(t).offset) << zone << " at " << t;
        }
    }
}

TEST(ZoneDirectory, NamesThatStayInTheDirectory) {
    for (const char* name : {"UTC", "Europe/Berlin", "America/Argentina/Buenos_Aires", "Etc/GMT+5", "Etc/GMT-14"}) {
        EXPECT_TRUE(valid_zone_name(name)) << name;
    }
    for (const char* name : {"", "/etc/passwd", "../etc/passwd", "Europe/../../etc", "Europe//Berlin", "Europe/",
                             "Europe/Berlin.tzif", "Europe/Ber lin", "Europe\\Berlin"}) {
        EXPECT_FALSE(valid_zone_name(name)) << name;
    }
    EXPECT_EQ(load_zone("../../etc/passwd").error, ZoneLoadError::BadName);
    EXPECT_EQ(load_zone("Mars/Olympus").error, ZoneLoadError::NotFound);
    EXPECT_EQ(load_zone("Europe").error, ZoneLoadError::NotFound);  // a directory
    ZoneLoad const berlin = load_zone("Europe/Berlin", "/usr/share/zoneinfo");
    ASSERT_TRUE(berlin.rules);
    EXPECT_EQ(load_zone("Europe/Berlin", "/usr/share/zoneinfo").rules, berlin.rules);  // loaded once
}

}  // namespace
}  // namespace epochsift
