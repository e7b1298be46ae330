// identify's readings seen through time zones: each reading's wall clock in a
// display zone, and wall-clock families read as one zone's local time.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

struct ZoneOptions {
    const TimeZone* display = nullptr;     // show each reading's wall clock here
    const TimeZone* local_zone = nullptr;  // read wall-clock families as this zone's local time
};

// How a wall-clock reading was placed in the local zone.
struct WallClockPlacement {
    WallClockKind kind = WallClockKind::Unique;
    bool later = false;  // the later instant of a fold
    LocalTime local;     // the wall clock read, with the offset used
};

struct ZonedReading {
    Candidate reading;
    std::optional<LocalTime> display;             // set when a display zone was given
    std::optional<WallClockPlacement> placement;  // set for wall-clock readings placed in the local zone
};

// The readings of candidates (identify's, in rank order) under the options.
// A wall-clock reading in a fold becomes two readings, earlier first.
std::vector<ZonedReading> zoned_readings(std::vector<Candidate> candidates, const ZoneOptions& options);

std::vector<ZonedReading> identify_zoned(std::string_view value, const ZoneOptions& options);

}  // namespace epochsift
