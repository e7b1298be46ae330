// A time zone asked for by name: an IANA zone from a directory of TZif
// files (the system's tz database unless told otherwise), or a fixed offset
// such as +05:30. A zone's file is read when its name is first looked up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"
#include "core/zone_rules.hpp"

namespace epochsift {

// The wall clock of a zone at one instant.
struct LocalTime {
    PosixNs wall;            // the wall-clock time, counted as if it were UTC
    int32_t offset_seconds;  // east of UTC
    std::string abbreviation;
};

// How a wall-clock time maps to instants in a zone.
enum class WallClockKind : uint8_t {
    Unique,  // one instant
    Gap,     // skipped by a forward shift: read with the offset before it
    Fold,    // repeated by a backward shift: two instants, earlier first
};

struct WallClockInstants {
    WallClockKind kind = WallClockKind::Unique;
    LocalTime first;                  // wall is the instant here, with its offset
    std::optional<LocalTime> second;  // the later instant of a fold
    PosixNs first_instant;
    std::optional<PosixNs> second_instant;
};

class TimeZone {
public:
    // An IANA name (Europe/Berlin, UTC) or ±HH:MM, ±HHMM, ±HH; nothing for an
    // unknown name, an unreadable zone file or a malformed offset. Names are
    // looked up in directory, or in $TZDIR or /usr/share/zoneinfo when empty.
    static std::optional<TimeZone> find(std::string_view name, std::string_view directory = {});

    // Whether name is an offset rather than a zone to look up.
    static bool is_fixed_offset(std::string_view name);

    std::string_view name() const { return name_; }

    // The zone's wall clock at instant; nothing outside the calendar range.
    std::optional<LocalTime> at(PosixNs instant) const;

    // The instants whose wall clock in this zone reads wall (a wall-clock
    // time counted as if it were UTC).
    std::optional<WallClockInstants> instants_of(PosixNs wall) const;

private:
    std::shared_ptr<const ZoneRules> rules_;  // null for a fixed offset
    int32_t fixed_offset_ = 0;
    std::string name_;
};

// "+05:30", "-08:00", "+00:00": an offset as RFC 3339 writes it.
std::string offset_text(int32_t offset_seconds);

}  // namespace epochsift
