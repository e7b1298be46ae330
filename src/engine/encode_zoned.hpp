// encode with a time zone: the families that store a wall clock without an
// offset are written in the zone's wall clock instead of UTC's, and an
// instant can be given as a zone's wall-clock time.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/encode.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

struct ZonedEncoding {
    std::vector<Encoded> encoded;
    LocalTime wall;  // the zone's wall clock at the instant, which the wall-clock families hold
};

// encode(instant, families), with each wall-clock family's value written in
// zone's wall clock and noted WallClockZone; reads_as is the instant that
// value denotes read as the zone's local time. Nothing outside the calendar
// range.
std::optional<ZonedEncoding> encode_in_zone(PosixNs instant, const TimeZone& zone,
                                            std::span<const std::string_view> families = {});

}  // namespace epochsift
