#include "core/zone_rules.hpp"

#include <algorithm>

#include "core/civil.hpp"

namespace epochsift {

namespace {

// Far enough either side of a wall clock to hold every instant it can name:
// offsets stay within ±26 hours.
constexpr int64_t WALL_WINDOW = 2 * 86'400;

}  // namespace

ZoneState ZoneRules::at(int64_t seconds) const {
    auto const& times = zone_.transitions;
    // The first transition after seconds; the one before it is in force.
    auto const after = std::upper_bound(times.begin(), times.end(), seconds);
    if (after == times.end() && zone_.footer) {
        PosixTzState const s = posix_tz_at(*zone_.footer, seconds);
        return {s.offset, s.is_dst, s.abbreviation};
    }
    if (after == times.begin()) return state_of(zone_.types[0]);  // RFC 8536: type 0 before the first
    return state_of(zone_.types[zone_.transition_types[static_cast<std::size_t>(after - times.begin()) - 1]]);
}

void ZoneRules::changes_between(int64_t from, int64_t to, std::vector<int64_t>& out) const {
    auto const& times = zone_.transitions;
    for (auto it = std::lower_bound(times.begin(), times.end(), from); it != times.end() && *it < to; ++it) {
        out.push_back(*it);
    }
    if (!zone_.footer || !zone_.footer->has_dst) return;
    int64_t const last = times.empty() ? INT64_MIN : times.back();
    int32_t const first_year = utc_civil_fields(from).year - 1, last_year = utc_civil_fields(to).year + 1;
    for (int32_t year = first_year; year <= last_year; ++year) {
        DstChanges const changes = dst_changes(*zone_.footer, year);
        for (int64_t t : {changes.start, changes.end}) {
            if (t > last && t >= from && t < to) out.push_back(t);
        }
    }
    std::sort(out.begin(), out.end());
}

WallClockLookup ZoneRules::instants_of(int64_t wall) const {
    WallClockLookup out;
    std::vector<int64_t> changes;
    changes_between(wall - WALL_WINDOW, wall + WALL_WINDOW, changes);
    // Every offset in force near the wall clock; an instant wall - offset
    // counts when that offset is in force at it.
    std::vector<int32_t> offsets{at(wall - WALL_WINDOW).offset};
    for (int64_t t : changes) offsets.push_back(at(t).offset);
    std::vector<int64_t> instants;
    for (int32_t offset : offsets) {
        int64_t const t = wall - offset;
        if (at(t).offset == offset) instants.push_back(t);
    }
    std::sort(instants.begin(), instants.end());
    instants.erase(std::unique(instants.begin(), instants.end()), instants.end());
    for (int64_t t : instants) {
        if (out.count == 2) break;
        out.instants[out.count] = t;
        out.states[out.count] = at(t);
        ++out.count;
    }
    if (out.count == 0) {
        // A forward shift at t skipped the wall clock: the state before it.
        for (int64_t t : changes) {
            ZoneState const before = at(t - 1), after = at(t);
            if (t + before.offset <= wall && wall < t + after.offset) {
                out.before_gap = before;
                break;
            }
        }
    }
    return out;
}

}  // namespace epochsift
