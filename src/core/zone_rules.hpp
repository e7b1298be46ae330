// Local time in a zone read from a TZif file: the listed transitions, then
// the footer's rule string after the last of them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/tzif.hpp"

namespace epochsift {

// The zone's state at one instant.
struct ZoneState {
    int32_t offset = 0;  // seconds east of UTC
    bool is_dst = false;
    std::string_view abbreviation;  // points into the zone's rules
};

// The instants whose wall clock reads one local time.
struct WallClockLookup {
    uint8_t count = 0;  // 0 in a gap, 1, or 2 in a fold
    std::array<int64_t, 2> instants{};
    std::array<ZoneState, 2> states{};  // the state at each instant
    ZoneState before_gap;               // in a gap: the state before the shift
};

class ZoneRules {
public:
    explicit ZoneRules(TzifZone zone) : zone_(std::move(zone)) {}

    // The state at a Unix second.
    ZoneState at(int64_t seconds) const;

    // The Unix seconds at which local time, counted as if it were UTC,
    // reads wall.
    WallClockLookup instants_of(int64_t wall) const;

private:
    ZoneState state_of(const LocalTimeType& type) const { return {type.offset, type.is_dst, type.abbreviation}; }
    // Instants in [from, to) where the state may change, ascending.
    void changes_between(int64_t from, int64_t to, std::vector<int64_t>& out) const;

    TzifZone zone_;
};

}  // namespace epochsift
