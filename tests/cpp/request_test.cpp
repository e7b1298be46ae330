// The engine's one entry point: zones applied inside it, `best` counted
// after them, the zoned JSON written member by member, and the option table
// both bindings read.
#include "engine/request.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/identify.hpp"
#include "engine/request_options.hpp"
#include "engine/time_zone.hpp"
#include "output/reading_json.hpp"

namespace epochsift {
namespace {

using Json = nlohmann::json;

constexpr std::string_view WALL_CLOCK_FORM = "iso8601_wall_clock";

// The readings of one form, in rank order, with the zone facts beside them.
struct FormReadings {
    std::vector<std::string> instants;  // rendered, UTC
    std::vector<ReadingZones> zones;
};

FormReadings of_form(const Readings& readings, std::string_view form) {
    FormReadings out;
    for (std::size_t i = 0; i < readings.ranked.size(); ++i) {
        if (readings.ranked[i].format_id() != form) continue;
        out.instants.emplace_back(readings.ranked[i].rendered()->view());
        if (!readings.zones.empty()) out.zones.push_back(readings.zones[i]);
    }
    return out;
}

Request wall_clock_request(std::string_view text, const TimeZone& local) {
    Request request = Request::of_text(text, ReadOptions{.extended = true});
    request.read.zones.local = &local;
    return request;
}

// Europe/Berlin's rules (tzdata, EU summer time: 01:00 UTC on the last
// Sundays of March and October): a wall clock in the spring gap is read with
// the offset before it, one in the autumn fold gives both instants.
TEST(Request, WallClocksArePlacedInTheLocalZone) {
    auto const berlin = TimeZone::find("Europe/Berlin");
    ASSERT_TRUE(berlin);
    struct Case {
        std::string_view text;
        WallClockKind kind;
        std::vector<std::string> instants;
        std::vector<int32_t> offsets;
    };
    Case const cases[] = {
        {"2024-07-01T12:00:00", WallClockKind::Unique, {"2024-07-01T10:00:00Z"}, {7200}},
        {"2024-01-15T12:00:00", WallClockKind::Unique, {"2024-01-15T11:00:00Z"}, {3600}},
        {"2024-03-31T02:30:00", WallClockKind::Gap, {"2024-03-31T01:30:00Z"}, {3600}},
        {"2024-10-27T02:30:00", WallClockKind::Fold, {"2024-10-27T00:30:00Z", "2024-10-27T01:30:00Z"}, {7200, 3600}},
    };
    for (Case const& c : cases) {
        FormReadings const got = of_form(read(wall_clock_request(c.text, *berlin)), WALL_CLOCK_FORM);
        EXPECT_EQ(got.instants, c.instants) << c.text;
        ASSERT_EQ(got.zones.size(), c.instants.size()) << c.text;
        for (std::size_t i = 0; i < got.zones.size(); ++i) {
            ASSERT_TRUE(got.zones[i].placement) << c.text;
            EXPECT_EQ(got.zones[i].placement->kind, c.kind) << c.text;
            EXPECT_EQ(got.zones[i].placement->later, i == 1) << c.text;
            EXPECT_EQ(got.zones[i].placement->local.offset_seconds, c.offsets[i]) << c.text;
            EXPECT_FALSE(got.zones[i].display) << c.text << ": no display zone was named";
        }
    }
}

// identify() is the reading without zones, whatever the options name.
TEST(Request, IdentifyLeavesZonesAlone) {
    auto const berlin = TimeZone::find("Europe/Berlin");
    ASSERT_TRUE(berlin);
    ReadOptions options{.extended = true};
    options.zones.local = &*berlin;
    std::vector<std::string> instants;
    for (Candidate const& reading : identify("2024-10-27T02:30:00", options)) {
        if (reading.format_id() == WALL_CLOCK_FORM) instants.emplace_back(reading.rendered()->view());
    }
    EXPECT_EQ(instants, std::vector<std::string>{"2024-10-27T02:30:00Z"});  // the wall clock read as UTC
}

// best keeps the first K readings as shown, a fold's two instants counted as two.
TEST(Request, BestCountsTheReadingsAfterZones) {
    auto const berlin = TimeZone::find("Europe/Berlin");
    auto const display = TimeZone::find("America/New_York");
    ASSERT_TRUE(berlin && display);
    for (std::string_view text : {"2024-10-27T02:30:00", "1700000000", "2024-03-31T02:30:00", "45000.5", "x"}) {
        Request request = wall_clock_request(text, *berlin);
        request.read.zones.display = &*display;
        Readings const all = read(request);
        ASSERT_EQ(all.zones.size(), all.ranked.size()) << text;
        for (std::size_t best = 1; best <= all.ranked.size() + 1; ++best) {
            request.best = best;
            Readings const kept = read(request);
            std::size_t const expected = std::min(best, all.ranked.size());
            ASSERT_EQ(kept.ranked.size(), expected) << text << " best=" << best;
            ASSERT_EQ(kept.zones.size(), expected) << text << " best=" << best;
            for (std::size_t i = 0; i < expected; ++i) {
                EXPECT_EQ(kept.ranked[i].instant, all.ranked[i].instant) << text << " best=" << best;
                EXPECT_EQ(kept.ranked[i].format, all.ranked[i].format) << text << " best=" << best;
            }
        }
    }
}

// The zoned JSON is each reading's own members, then "local" and
// "local_zone" where they apply; the wall clocks follow from the offsets.
TEST(Request, ZonedJsonAddsTheZoneMembersToEachReading) {
    auto const plus_five_thirty = TimeZone::find("+05:30");
    auto const berlin = TimeZone::find("Europe/Berlin");
    ASSERT_TRUE(plus_five_thirty && berlin);
    for (std::string_view text : {"1700000000", "2024-10-27T02:30:00", "2024-05-01T12:00:00+02:00"}) {
        Request request = wall_clock_request(text, *berlin);
        request.read.zones.display = &*plus_five_thirty;
        Readings const readings = read(request);
        std::string zoned;
        append_json_readings(zoned, readings);
        std::string plain;
        append_json_candidates(plain, readings.ranked);
        Json const zoned_json = Json::parse(zoned);
        Json const plain_json = Json::parse(plain);
        ASSERT_EQ(zoned_json.size(), readings.ranked.size()) << text;
        for (std::size_t i = 0; i < zoned_json.size(); ++i) {
            Json reading = zoned_json[i];
            ASSERT_TRUE(reading.contains("local")) << text << " reading " << i;
            Json const local = reading["local"];
            EXPECT_EQ(local["zone"], "+05:30");
            EXPECT_EQ(local["offset_seconds"], 19800);
            EXPECT_EQ(reading.contains("local_zone"), readings.zones[i].placement.has_value()) << text;
            if (reading.contains("local_zone")) EXPECT_EQ(reading["local_zone"]["zone"], "Europe/Berlin") << text;
            reading.erase("local");
            reading.erase("local_zone");
            EXPECT_EQ(reading, plain_json[i]) << text << " reading " << i;
        }
    }
    // 1700000000 is 2023-11-14T22:13:20Z: 03:43:20 the next day at +05:30.
    Request request = Request::of_text("1700000000");
    request.read.zones.display = &*plus_five_thirty;
    request.best = 1;
    std::string json;
    append_json_readings(json, read(request));
    EXPECT_EQ(Json::parse(json)[0]["local"]["time"], "2023-11-15T03:43:20+05:30");
}

// Bytes in a named order are read in it: the order is how to read them, so a
// reading weighs it once, as its layout, not again as the caller's evidence.
TEST(Request, BytesAreReadInTheOrderNamed) {
    uint8_t const bytes[] = {0x65, 0x53, 0xf1, 0x00};  // 1,700,000,000 big-endian
    for (ByteOrder const order : {ByteOrder::Big, ByteOrder::Little}) {
        Request request = Request::of_bytes(bytes);
        request.read.extended = true;
        request.read.context.byte_order = order;
        Readings const readings = read(request);
        ASSERT_FALSE(readings.ranked.empty());
        bool unix_seen = false;
        for (Candidate const& reading : readings.ranked) {
            auto const endian = std::count_if(reading.components.begin(), reading.components.end(),
                                              [](ScoreComponent c) { return c.kind == Component::EndianMatch; });
            EXPECT_LE(endian, 1) << reading.format_id();
            if (reading.format_id() == "unix") {
                unix_seen = true;
                // Big-endian 0x6553f100 is 2023-11-14T22:13:20Z; little-endian 0x00f15365 is 1970-07-03T01:12:05Z.
                EXPECT_EQ(reading.rendered()->view(),
                          order == ByteOrder::Big ? "2023-11-14T22:13:20Z" : "1970-07-03T01:12:05Z");
            }
        }
        EXPECT_TRUE(unix_seen);
    }
}

// Every option a binding can name is one row, and a value of the row's kind
// is what the options store for it.
TEST(RequestOptions, EachRowTakesAValueOfItsKind) {
    auto const zone = TimeZone::find("UTC");
    ASSERT_TRUE(zone);
    for (OptionRow const& row : REQUEST_OPTIONS) {
        EXPECT_EQ(find_option(row.name, ~OptionSet{0}), &row) << row.name;
        EXPECT_EQ(find_option(row.name, ~option_bit(row.key)), nullptr) << row.name << ": outside the set asked";
        OptionValue value = [&]() -> OptionValue {
            switch (row.kind) {
                case OptionKind::Flag: return true;
                case OptionKind::Text: return std::string("filetime");
                case OptionKind::ByteWidth: return uint8_t{8};
                case OptionKind::ByteOrder: return ByteOrder::Big;
                case OptionKind::Integers: return std::vector<int64_t>{1, 2};
                case OptionKind::Window: return InstantWindow{PosixNs{0}, PosixNs{1}};
                case OptionKind::Zone: return *zone;
                case OptionKind::Count: return std::size_t{3};
                case OptionKind::FamilyIds: return std::vector<std::string>{"unix_s"};
            }
            return false;
        }();
        CallerOptions options;
        EXPECT_TRUE(options.set(row.key, std::move(value))) << row.name;
        CallerOptions wrong;
        EXPECT_EQ(wrong.set(row.key, OptionValue(std::string("?"))), row.kind == OptionKind::Text) << row.name;
    }
    EXPECT_EQ(find_option("neighbors", ~OptionSet{0}), nullptr);
}

// The options own what the request points into.
TEST(RequestOptions, TheRequestPointsIntoTheOptions) {
    CallerOptions options;
    ASSERT_TRUE(options.set(OptionKey::Hint, std::string("filetime")));
    ASSERT_TRUE(options.set(OptionKey::Neighbours, std::vector<int64_t>{5, 6, 7}));
    ASSERT_TRUE(options.set(OptionKey::Tz, *TimeZone::find("+01:00")));
    ASSERT_TRUE(options.set(OptionKey::Best, std::size_t{2}));
    options.finish();
    Request const request = options.request("1700000000");
    ASSERT_TRUE(request.read.context.artifact_hint);
    EXPECT_EQ(request.read.context.artifact_hint->text(), "filetime");
    EXPECT_EQ(request.read.context.neighbours.size(), 3u);
    ASSERT_NE(request.read.zones.display, nullptr);
    EXPECT_EQ(request.read.zones.display->name(), "+01:00");
    EXPECT_EQ(request.read.zones.local, nullptr);
    EXPECT_EQ(read(request).ranked.size(), 2u);
}

}  // namespace
}  // namespace epochsift
