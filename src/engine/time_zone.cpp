#include "engine/time_zone.hpp"

#include "core/ascii_scan.hpp"
#ifndef EPOCHSIFT_NO_ZONE_FILES
#include "core/zone_directory.hpp"
#endif

namespace epochsift {

namespace {

// Offsets a fixed zone may take: whole minutes up to 23:59 either way.
constexpr int32_t MAX_FIXED_OFFSET = 23 * 3600 + 59 * 60;

// ±HH, ±HHMM or ±HH:MM in seconds east of UTC.
std::optional<int32_t> fixed_offset(std::string_view text) {
    if (text.size() < 3 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
    std::string_view const digits = text.substr(1);
    std::string compact(digits);
    if (digits.size() == 5 && digits[2] == ':') compact.erase(2, 1);
    if (compact.size() != 2 && compact.size() != 4) return std::nullopt;
    if (!all_ascii_digits(compact)) return std::nullopt;
    int32_t const hours = (compact[0] - '0') * 10 + (compact[1] - '0');
    int32_t const minutes = compact.size() == 4 ? (compact[2] - '0') * 10 + (compact[3] - '0') : 0;
    if (minutes > 59) return std::nullopt;
    int32_t const seconds = hours * 3600 + minutes * 60;
    if (seconds > MAX_FIXED_OFFSET) return std::nullopt;
    return text[0] == '-' ? -seconds : seconds;
}

bool in_calendar(i128 seconds) { return in_calendar_range(seconds); }

LocalTime local_from(const ZoneState& state, PosixNs instant) {
    return LocalTime{PosixNs{instant.ns + i128{state.offset} * NS_PER_SECOND}, state.offset,
                     std::string(state.abbreviation)};
}

}  // namespace

std::string offset_text(int32_t offset_seconds) {
    int32_t const magnitude = offset_seconds < 0 ? -offset_seconds : offset_seconds;
    int32_t const hours = magnitude / 3600, minutes = magnitude / 60 % 60, seconds = magnitude % 60;
    std::string text(1, offset_seconds < 0 ? '-' : '+');
    auto const two = [&](int32_t v) {
        text += static_cast<char>('0' + v / 10);
        text += static_cast<char>('0' + v % 10);
    };
    two(hours);
    text += ':';
    two(minutes);
    if (seconds != 0) {  // local mean times of the last centuries
        text += ':';
        two(seconds);
    }
    return text;
}

bool TimeZone::is_fixed_offset(std::string_view name) { return fixed_offset(name).has_value(); }

std::optional<TimeZone> TimeZone::find(std::string_view name, std::string_view directory) {
    TimeZone zone;
    zone.name_ = std::string(name);
    if (auto const offset = fixed_offset(name)) {
        zone.fixed_offset_ = *offset;
        return zone;
    }
#ifdef EPOCHSIFT_NO_ZONE_FILES
    // A build without a file system (the web page) takes its zones from the
    // host; only fixed offsets are known here.
    (void)directory;
    return std::nullopt;
#else
    ZoneLoad loaded = load_zone(name, directory);
    if (!loaded.rules) return std::nullopt;
    zone.rules_ = std::move(loaded.rules);
    return zone;
#endif
}

std::optional<LocalTime> TimeZone::at(PosixNs instant) const {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (!in_calendar(seconds)) return std::nullopt;
    if (rules_ == nullptr) {
        return LocalTime{PosixNs{instant.ns + i128{fixed_offset_} * NS_PER_SECOND}, fixed_offset_,
                         offset_text(fixed_offset_)};
    }
    return local_from(rules_->at(static_cast<int64_t>(seconds)), instant);
}

std::optional<WallClockInstants> TimeZone::instants_of(PosixNs wall) const {
    i128 const seconds = floor_div(wall.ns, NS_PER_SECOND);
    if (!in_calendar(seconds)) return std::nullopt;
    auto const instant_at = [&](int32_t offset) { return PosixNs{wall.ns - i128{offset} * NS_PER_SECOND}; };
    WallClockInstants out;
    if (rules_ == nullptr) {
        out.first_instant = instant_at(fixed_offset_);
        out.first = LocalTime{wall, fixed_offset_, offset_text(fixed_offset_)};
        return out;
    }
    WallClockLookup const found = rules_->instants_of(static_cast<int64_t>(seconds));
    auto const local = [&](const ZoneState& state) {
        return LocalTime{wall, state.offset, std::string(state.abbreviation)};
    };
    if (found.count == 0) {  // a gap: the offset before the shift
        out.kind = WallClockKind::Gap;
        out.first_instant = instant_at(found.before_gap.offset);
        out.first = local(found.before_gap);
        return out;
    }
    out.first_instant = instant_at(found.states[0].offset);
    out.first = local(found.states[0]);
    if (found.count == 2) {
        out.kind = WallClockKind::Fold;
        out.second_instant = instant_at(found.states[1].offset);
        out.second = local(found.states[1]);
    }
    return out;
}

}  // namespace epochsift
