// The JSON form of zoned readings: each reading's members as identify_json
// writes them, then "local" (the display zone's wall clock) and
// "local_zone" (how a wall-clock reading was placed), when present.
#pragma once

#include <span>
#include <string>

#include "engine/zoned_readings.hpp"

namespace epochsift {

// "2024-03-31T03:30:00+02:00": a wall clock with its offset.
std::string local_time_text(const LocalTime& local);

// The note on a placed wall-clock reading: empty when the time was unique.
std::string placement_note(const WallClockPlacement& placement, std::string_view zone);

std::string zoned_json(std::span<const ZonedReading> readings, std::string_view display_zone,
                       std::string_view local_zone);

}  // namespace epochsift
