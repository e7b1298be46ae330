// What a caller may tell the engine about a value besides its text. The
// default (everything absent, extended off) is the reference reading.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/byte_order.hpp"
#include "core/instant.hpp"
#include "engine/artifact_hint.hpp"

namespace epochsift {

// Where an integer came from: each known fact adds one context component to
// the integer readings. The empty context (all absent) adds none.
struct IntContext {
    std::optional<ArtifactHint> artifact_hint;  // read once, shared over every value
    std::span<const int64_t> neighbours;  // the same field's other values, in stored order
    std::optional<ByteOrder> byte_order;
    std::optional<uint8_t> byte_width;
};

// A span of instants the caller expects, start inclusive, end exclusive.
struct InstantWindow {
    PosixNs start;
    PosixNs end;

    constexpr bool contains(PosixNs instant) const { return start <= instant && instant < end; }
    friend constexpr bool operator==(InstantWindow, InstantWindow) = default;
};

class TimeZone;  // engine/time_zone.hpp

// The time zones a caller looked up; the caller keeps them alive for the
// reading. Both absent: readings are in UTC and wall clocks read as UTC.
struct ZoneChoice {
    const TimeZone* display = nullptr;  // show each reading's wall clock here
    const TimeZone* local = nullptr;    // read wall-clock families as this zone's local time

    constexpr bool any() const { return display != nullptr || local != nullptr; }
};

struct ReadOptions {
    // Rank with the extended evidence (family prior, soft plausibility,
    // producer resolutions, identifier structure) instead of the reference
    // score alone.
    bool extended = false;
    IntContext context;
    // Replaces every family's own window wherever a window is tested.
    std::optional<InstantWindow> window;
    // Applied to the ranked readings (engine/zoned_readings.hpp); identify
    // itself does not look at them.
    ZoneChoice zones;
};

}  // namespace epochsift
