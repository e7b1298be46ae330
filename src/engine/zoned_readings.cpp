#include "engine/zoned_readings.hpp"

#include "engine/identify.hpp"

namespace epochsift {

namespace {

// The reading moved to instant; nothing when it cannot be rendered there.
std::optional<Candidate> moved(const Candidate& reading, PosixNs instant) {
    if (!instant.renders()) return std::nullopt;
    Candidate out = reading;
    out.instant = instant;
    return out;
}

}  // namespace

std::vector<ZonedReading> zoned_readings(std::vector<Candidate> candidates, const ZoneChoice& zones) {
    std::vector<ZonedReading> out;
    out.reserve(candidates.size());
    for (Candidate& candidate : candidates) {
        if (zones.local == nullptr || !candidate.facts.local) {
            out.push_back(ZonedReading{std::move(candidate), std::nullopt, std::nullopt});
            continue;
        }
        auto const placed = zones.local->instants_of(candidate.instant);
        if (!placed) {  // the wall clock lies outside the calendar: kept as read
            out.push_back(ZonedReading{std::move(candidate), std::nullopt, std::nullopt});
            continue;
        }
        if (auto reading = moved(candidate, placed->first_instant)) {
            out.push_back(ZonedReading{std::move(*reading), std::nullopt,
                                       WallClockPlacement{placed->kind, false, placed->first}});
        }
        if (placed->second_instant) {
            if (auto reading = moved(candidate, *placed->second_instant)) {
                out.push_back(ZonedReading{std::move(*reading), std::nullopt,
                                           WallClockPlacement{placed->kind, true, *placed->second}});
            }
        }
    }
    if (zones.display != nullptr) {
        for (ZonedReading& zoned : out) zoned.display = zones.display->at(zoned.reading.instant);
    }
    return out;
}

std::vector<ZonedReading> identify_zoned(std::string_view value, const ReadOptions& options) {
    return zoned_readings(identify(value, options), options.zones);
}

}  // namespace epochsift
