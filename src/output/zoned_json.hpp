// The zone members of a reading's JSON object: "local" (the display zone's
// wall clock) and "local_zone" (how a wall-clock reading was placed), when
// present; and the texts the other writers share with them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/request.hpp"

namespace epochsift {

// "2024-03-31T03:30:00+02:00": a wall clock with its offset; nothing when
// the wall clock falls outside the civil years -9999 to 9999.
std::optional<std::string> local_time_text(const LocalTime& local);

// Said of a wall clock local_time_text cannot write, in place of its text.
inline constexpr std::string_view UNRENDERED_WALL_CLOCK_NOTE =
    "the wall clock falls outside the years -9999 to 9999 and is not written";

// The note on a placed wall-clock reading: empty when the time was unique.
std::string placement_note(const WallClockPlacement& placement, std::string_view zone);

// ,"local":{...},"local_zone":{...}: the members zones holds, each led by a
// comma, to follow a reading's own members.
void append_zone_members(std::string& out, const ReadingZones& zones, const ZoneChoice& choice);

}  // namespace epochsift
