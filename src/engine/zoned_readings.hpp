// identify's readings seen through time zones: each reading's wall clock in a
// display zone, and wall-clock families read as one zone's local time.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

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

// The readings of candidates (identify's, in rank order) in the zones.
// A wall-clock reading in a fold becomes two readings, earlier first.
std::vector<ZonedReading> zoned_readings(std::vector<Candidate> candidates, const ZoneChoice& zones);

// identify(value, options) seen through options.zones: the extended reading,
// the context and the window rank the readings before any is placed.
std::vector<ZonedReading> identify_zoned(std::string_view value, const ReadOptions& options);

}  // namespace epochsift
