#include "engine/zoned_readings.hpp"

#include <algorithm>

namespace epochsift {

namespace {

// The reading moved to instant; nothing when it cannot be rendered there.
std::optional<Candidate> moved(const Candidate& reading, PosixNs instant) {
    if (!instant.renders()) return std::nullopt;
    Candidate out = reading;
    out.instant = instant;
    return out;
}

std::vector<ZonedReading> paired(Readings&& readings) {
    std::vector<ZonedReading> out;
    out.reserve(readings.ranked.size());
    for (std::size_t i = 0; i < readings.ranked.size(); ++i) {
        if (i >= readings.zones.size()) {  // no zone named
            out.push_back(ZonedReading{std::move(readings.ranked[i]), std::nullopt, std::nullopt});
            continue;
        }
        ReadingZones& zones = readings.zones[i];
        out.push_back(ZonedReading{std::move(readings.ranked[i]), std::move(zones.display), std::move(zones.placement)});
    }
    return out;
}

}  // namespace

void place_in_zones(Readings& readings, std::optional<std::size_t> best) {
    ZoneChoice const& zones = readings.zone_choice;
    std::size_t const limit = best.value_or(readings.ranked.size() * 2);
    std::vector<Candidate> placed;
    std::vector<ReadingZones> facts;
    placed.reserve(std::min(limit, readings.ranked.size()));
    facts.reserve(std::min(limit, readings.ranked.size()));
    for (Candidate& candidate : readings.ranked) {
        if (placed.size() >= limit) break;
        if (zones.local == nullptr || !candidate.facts.local) {
            placed.push_back(std::move(candidate));
            facts.emplace_back();
            continue;
        }
        auto const found = zones.local->instants_of(candidate.instant);
        if (!found) {  // the wall clock lies outside the calendar: kept as read
            placed.push_back(std::move(candidate));
            facts.emplace_back();
            continue;
        }
        std::optional<Candidate> first = moved(candidate, found->first_instant);
        std::optional<Candidate> second =
            found->second_instant ? moved(candidate, *found->second_instant) : std::nullopt;
        if (first && second && candidate.has_confidence()) {
            // A wall clock the zone repeats: the reading's share goes half to each instant.
            first->confidence /= 2;
            second->confidence /= 2;
        }
        if (first) {
            placed.push_back(std::move(*first));
            facts.push_back(ReadingZones{std::nullopt, WallClockPlacement{found->kind, false, found->first}});
        }
        if (second && placed.size() < limit) {
            placed.push_back(std::move(*second));
            facts.push_back(ReadingZones{std::nullopt, WallClockPlacement{found->kind, true, *found->second}});
        }
    }
    if (zones.display != nullptr) {
        for (std::size_t i = 0; i < placed.size(); ++i) facts[i].display = zones.display->at(placed[i].instant);
    }
    readings.ranked = std::move(placed);
    readings.zones = std::move(facts);
}

std::vector<ZonedReading> zoned_readings(std::vector<Candidate> candidates, const ZoneChoice& zones) {
    Readings readings{std::move(candidates), {}, zones};
    place_in_zones(readings);
    return paired(std::move(readings));
}

std::vector<ZonedReading> identify_zoned(std::string_view value, const ReadOptions& options) {
    return paired(read(Request::of_text(value, options)));
}

}  // namespace epochsift
