// Readings seen through time zones: each reading's wall clock in a display
// zone, and wall-clock families read as one zone's local time.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/request.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

// Places readings.ranked (in rank order) in readings.zone_choice and fills
// readings.zones beside them. A wall-clock reading in a fold becomes two
// readings, earlier first; one that cannot be rendered where it lands is
// dropped. Stops once `best` readings are placed, when given.
void place_in_zones(Readings& readings, std::optional<std::size_t> best = std::nullopt);

// A reading with its zones, for callers that keep them together.
struct ZonedReading {
    Candidate reading;
    std::optional<LocalTime> display;
    std::optional<WallClockPlacement> placement;
};

// place_in_zones of candidates, as a list of zoned readings.
std::vector<ZonedReading> zoned_readings(std::vector<Candidate> candidates, const ZoneChoice& zones);

// read() of value under options, zones applied, as a list of zoned readings.
std::vector<ZonedReading> identify_zoned(std::string_view value, const ReadOptions& options);

}  // namespace epochsift
