// The blob scanner: planted fields are found at their offsets with the
// instants their documented layouts give, the window's edges hold to the
// second, threads and chunks change nothing, and the threshold keeps lone
// noise out while a record of times gets in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "engine/scan.hpp"
#include "engine/scan_buffer.hpp"
#include "engine/scan_plan.hpp"
#include "output/scan_hits.hpp"

namespace epochsift {
namespace {

ScanPlan plan_of(ScanRequest request = {}) {
    auto planned = make_scan_plan(request);
    EXPECT_TRUE(planned.plan.has_value());
    return std::move(*planned.plan);
}

std::vector<uint8_t> random_bytes(std::size_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

void put(std::vector<uint8_t>& blob, std::size_t at, uint64_t value, int width, bool little) {
    for (int i = 0; i < width; ++i) {
        int const shift = 8 * (little ? i : width - 1 - i);
        blob[at + i] = static_cast<uint8_t>(value >> shift);
    }
}

bool found(const ScanPlan& plan, const std::vector<ScanHit>& hits, uint64_t offset, std::string_view format,
           PosixNs instant) {
    return std::any_of(hits.begin(), hits.end(), [&](ScanHit const& h) {
        return h.offset == offset && probe_format_id(plan.probes[h.probe]) == format && h.instant == instant;
    });
}

// Encodings written here from the formats' documents, not by the engine:
// Unix seconds (POSIX), FILETIME = 100 ns ticks since 1601 ([MS-DTYP]
// 2.3.3; 11644473600 s before 1970), Unix milliseconds, and Cocoa's
// seconds since 2001 (978307200 s after 1970) as a binary64.
struct Planted {
    const char* format;
    int width;
    bool little;
    uint64_t (*encode)(int64_t unix_seconds);
};
constexpr Planted PLANTED[] = {
    {"unix", 4, true, [](int64_t s) { return static_cast<uint64_t>(s); }},
    {"unix", 4, false, [](int64_t s) { return static_cast<uint64_t>(s); }},
    {"filetime", 8, true, [](int64_t s) { return static_cast<uint64_t>(s + 11'644'473'600) * 10'000'000; }},
    {"filetime", 8, false, [](int64_t s) { return static_cast<uint64_t>(s + 11'644'473'600) * 10'000'000; }},
    {"unix_ms", 6, false, [](int64_t s) { return static_cast<uint64_t>(s) * 1000 + 123; }},
    {"unix_ms", 6, true, [](int64_t s) { return static_cast<uint64_t>(s) * 1000 + 123; }},
    {"cocoa_float", 8, false,
     [](int64_t s) {
         double const x = static_cast<double>(s - 978'307'200) + 0.5;
         uint64_t bits = 0;
         std::memcpy(&bits, &x, sizeof bits);
         return bits;
     }},
};

PosixNs planted_instant(const Planted& p, int64_t s) {
    std::string_view const f = p.format;
    if (f == "unix_ms") return PosixNs::from_seconds(s, 123'000'000);
    if (f == "cocoa_float") return PosixNs::from_seconds(s, 500'000'000);
    return PosixNs::from_seconds(s);
}

// Any such field written at any offset into random bytes is a raw hit.
TEST(Scan, PlantedFieldsAreRawHits) {
    ScanPlan const plan = plan_of();
    std::mt19937_64 rng(7);
    // 1995-01-01 .. 2035-01-01
    std::uniform_int_distribution<int64_t> seconds(788'918'400, 2'051'222'400);
    for (Planted const& p : PLANTED) {
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<uint8_t> blob = random_bytes(256, rng());
            std::size_t const at = rng() % (blob.size() - p.width);
            int64_t s = seconds(rng);
            // A double within 1/64 of the window's largest magnitude of its
            // epoch (the months around 2001-01-01 for Cocoa) is no raw hit.
            if (std::string_view(p.format) == "cocoa_float" && std::abs(s - 978'307'200) < 20'000'000) s += 40'000'000;
            put(blob, at, p.encode(s), p.width, p.little);
            std::vector<ScanHit> const hits = scan_buffer(plan, blob, true, 1);
            EXPECT_TRUE(found(plan, hits, at, p.format, planted_instant(p, s)))
                << p.format << (p.little ? " LE" : " BE") << " at " << at << " s=" << s;
        }
    }
}

// The default window is 1990-01-01 up to 2040-01-01: the last second
// before it and the first one at its end are no hits.
TEST(Scan, WindowEdgesToTheSecond) {
    ScanPlan const plan = plan_of({.window = {}, .widths = {4}, .formats = {"unix"}, .reference_only = false});
    struct Edge {
        int64_t seconds;
        bool hit;
    };
    for (Edge const e : {Edge{631'151'999, false}, Edge{631'152'000, true}, Edge{2'208'988'799, true},
                         Edge{2'208'988'800, false}}) {
        std::vector<uint8_t> blob(8, 0);
        put(blob, 0, static_cast<uint64_t>(e.seconds), 4, true);
        std::vector<ScanHit> const hits = scan_buffer(plan, blob, true, 1);
        EXPECT_EQ(found(plan, hits, 0, "unix", PosixNs::from_seconds(e.seconds)), e.hit) << e.seconds;
    }
}

// A caller's window replaces the families' own.
TEST(Scan, CallerWindowNarrows) {
    InstantWindow const w{PosixNs::from_seconds(1'700'000'000), PosixNs::from_seconds(1'700'000'100)};
    ScanPlan const plan = plan_of({.window = w, .widths = {}, .formats = {"unix"}, .reference_only = false});
    std::vector<uint8_t> blob(16, 0);
    put(blob, 0, 1'700'000'050, 4, true);
    put(blob, 8, 1'700'000'200, 4, true);
    std::vector<ScanHit> const hits = scan_buffer(plan, blob, true, 1);
    EXPECT_TRUE(found(plan, hits, 0, "unix", PosixNs::from_seconds(1'700'000'050)));
    EXPECT_FALSE(found(plan, hits, 8, "unix", PosixNs::from_seconds(1'700'000'200)));
}

TEST(Scan, PlanRejections) {
    EXPECT_EQ(make_scan_plan({.window = {}, .widths = {}, .formats = {"no_such"}, .reference_only = false}).error,
              ScanPlanError::UnknownFormat);
    EXPECT_EQ(make_scan_plan({.window = {}, .widths = {3}, .formats = {}, .reference_only = false}).error,
              ScanPlanError::BadWidth);
    InstantWindow const backwards{PosixNs::from_seconds(10), PosixNs::from_seconds(5)};
    EXPECT_EQ(make_scan_plan({.window = backwards, .widths = {}, .formats = {}, .reference_only = false}).error,
              ScanPlanError::EmptyWindow);
    // unix is stored at 4 bytes: nothing of it at 2
    EXPECT_EQ(make_scan_plan({.window = {}, .widths = {2}, .formats = {"unix"}, .reference_only = false}).error,
              ScanPlanError::NothingToScan);
}

// An MFT-like record: four FILETIMEs side by side (created <= modified),
// repeated in records 1024 bytes apart, over random bytes.
std::vector<uint8_t> blob_with_records(std::size_t size, uint64_t seed, std::vector<uint64_t>& offsets) {
    std::vector<uint8_t> blob = random_bytes(size, seed);
    std::mt19937_64 rng(seed + 1);
    int64_t base = 1'600'000'000;
    for (std::size_t record = 4096 + 0x50; record + 32 < size; record += 1024) {
        base += static_cast<int64_t>(rng() % 100'000);
        for (int i = 0; i < 4; ++i) {
            uint64_t const ticks = static_cast<uint64_t>(base + 11'644'473'600 + i * 7) * 10'000'000 + rng() % 10'000'000;
            put(blob, record + 8 * i, ticks, 8, true);
            offsets.push_back(record + 8 * i);
        }
    }
    return blob;
}

TEST(Scan, RecordsAreShownAndGrouped) {
    ScanPlan const plan = plan_of();
    std::vector<uint64_t> offsets;
    std::vector<uint8_t> const blob = blob_with_records(64 * 1024, 11, offsets);
    std::vector<ScanHit> const hits = scan_buffer(plan, blob, false, 1);
    for (uint64_t const at : offsets) {
        auto const it = std::find_if(hits.begin(), hits.end(), [&](ScanHit const& h) { return h.offset == at && h.shown; });
        ASSERT_NE(it, hits.end()) << at;
        EXPECT_EQ(probe_format_id(plan.probes[it->probe]), "filetime");
        EXPECT_EQ(it->record, at - (at - 4096 - 0x50) % 1024) << "four times side by side are one record";
        EXPECT_GE(it->confidence(), 0.5);
    }
}

// Chunks and threads: the same hits whatever the split, across chunk
// boundaries too.
TEST(Scan, ThreadsAndChunksAgree) {
    ScanPlan const plan = plan_of();
    std::vector<uint64_t> offsets;
    std::vector<uint8_t> const blob = blob_with_records(3 * SCAN_CHUNK_BYTES + 12345, 5, offsets);
    auto const key = [](std::vector<ScanHit> const& hits) {
        std::vector<std::tuple<uint64_t, uint16_t, double, bool>> out;
        for (ScanHit const& h : hits) out.emplace_back(h.offset, h.probe, h.bits, h.shown);
        return out;
    };
    auto const one = key(scan_buffer(plan, blob, false, 1));
    EXPECT_EQ(one, key(scan_buffer(plan, blob, false, 4)));
    std::vector<ScanHit> whole;
    scan_block(plan, blob, 0, blob.size(), 0, false, whole);
    settle_hits(plan, whole, nullptr);
    EXPECT_EQ(one, key(whole));
}

// Lone 4-byte Unix times in random bytes are noise-like: never shown; the
// same time side by side with its copy (created = modified) is.
TEST(Scan, LoneWeakFieldsStayHidden) {
    ScanPlan const plan = plan_of();
    std::vector<uint8_t> blob = random_bytes(4096, 3);
    put(blob, 1000, 1'650'000'000, 4, true);
    auto hits = scan_buffer(plan, blob, false, 1);
    EXPECT_FALSE(found(plan, hits, 1000, "unix", PosixNs::from_seconds(1'650'000'000)));
    put(blob, 1004, 1'650'000'000, 4, true);
    put(blob, 1008, 1'650'000'007, 4, true);
    hits = scan_buffer(plan, blob, false, 1);
    EXPECT_TRUE(found(plan, hits, 1000, "unix", PosixNs::from_seconds(1'650'000'000)));
    EXPECT_TRUE(found(plan, hits, 1008, "unix", PosixNs::from_seconds(1'650'000'007)));
}

// Two FILETIMEs ([MS-DTYP] 2.3.3) over random bytes: each alone is below
// the threshold; a partner counts up to 1024 bytes away and an hour apart,
// and not a byte or a second beyond.
TEST(Scan, PartnersWithinAKilobyteAndAnHour) {
    ScanPlan const plan = plan_of();
    struct Pair {
        std::size_t distance;
        int64_t seconds_apart;
        bool shown;
    };
    constexpr Pair PAIRS[] = {
        {8, 1, true}, {1024, 3600, true}, {1016, 3599, true},
        {1032, 1, false}, {16, 3601, false}, {1024, 3601, false},
    };
    for (Pair const& p : PAIRS) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            std::vector<uint8_t> blob = random_bytes(8192, seed);
            std::size_t const a = 2048;
            int64_t const s = 1'600'000'000;
            auto const ticks = [](int64_t unix_seconds) {
                return static_cast<uint64_t>(unix_seconds + 11'644'473'600) * 10'000'000 + 4'321'987;
            };
            put(blob, a, ticks(s), 8, true);
            put(blob, a + p.distance, ticks(s + p.seconds_apart), 8, true);
            std::vector<ScanHit> const hits = scan_buffer(plan, blob, false, 1);
            for (auto const [at, when] : {std::pair{a, s}, std::pair{a + p.distance, s + p.seconds_apart}}) {
                PosixNs const instant = PosixNs::from_seconds(when, 432'198'700);
                bool const shown = std::any_of(hits.begin(), hits.end(), [&](ScanHit const& h) {
                    return h.shown && h.offset == at && h.instant == instant;
                });
                EXPECT_EQ(shown, p.shown) << p.distance << " bytes, " << p.seconds_apart << " s apart, seed " << seed;
            }
        }
    }
}

// Of two shown readings of the same bytes only one stays shown.
TEST(Scan, OverlapsKeepOneReading) {
    ScanPlan const plan = plan_of();
    std::vector<uint64_t> offsets;
    std::vector<uint8_t> const blob = blob_with_records(16 * 1024, 9, offsets);
    std::vector<ScanHit> const hits = scan_buffer(plan, blob, true, 1);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        if (!hits[i].shown) continue;
        uint64_t const end = hits[i].offset + plan.probes[hits[i].probe].width;
        for (std::size_t j = i + 1; j < hits.size() && hits[j].offset < end; ++j) {
            EXPECT_FALSE(hits[j].shown) << hits[i].offset << " and " << hits[j].offset;
        }
    }
}

// The JSON line and CSV row carry the fields in the one field list's order.
TEST(Scan, WritersFollowTheFieldList) {
    ScanPlan const plan = plan_of();
    std::vector<uint64_t> offsets;
    std::vector<uint8_t> const blob = blob_with_records(8 * 1024, 2, offsets);
    std::vector<ScanHit> hits = scan_buffer(plan, blob, false, 1);
    ASSERT_FALSE(hits.empty());
    std::string json;
    append_scan_json_line(json, scan_row(plan, hits.front()));
    std::size_t at = 0;
    for (std::string_view name : SCAN_FIELD_NAMES) {
        std::size_t const next = json.find("\"" + std::string(name) + "\":", at);
        ASSERT_NE(next, std::string::npos) << name;
        at = next;
    }
    EXPECT_EQ(json.back(), '\n');
    std::string csv;
    append_scan_csv_header(csv);
    EXPECT_EQ(csv, "offset,width,order,format_id,instant,rendered,confidence,record,local\n");
}

}  // namespace
}  // namespace epochsift
