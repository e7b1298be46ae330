#include "engine/time_zone.hpp"

#include <date/tz.h>

#include <chrono>
#include <exception>

#include "core/ascii_scan.hpp"

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

bool in_calendar(i128 seconds) { return seconds >= MIN_CALENDAR_SECOND && seconds <= MAX_CALENDAR_SECOND; }

LocalTime local_from(const date::sys_info& info, PosixNs instant) {
    auto const offset = static_cast<int32_t>(info.offset.count());
    return LocalTime{PosixNs{instant.ns + i128{offset} * NS_PER_SECOND}, offset, info.abbrev};
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

std::optional<TimeZone> TimeZone::find(std::string_view name) {
    TimeZone zone;
    zone.name_ = std::string(name);
    if (auto const offset = fixed_offset(name)) {
        zone.fixed_offset_ = *offset;
        return zone;
    }
    if (name.empty() || name.find('\0') != std::string_view::npos) return std::nullopt;
    // The library reports an unknown name, or an unreadable database, by
    // throwing; here that becomes "no such zone".
    try {
        zone.zone_ = date::locate_zone(name);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (zone.zone_ == nullptr) return std::nullopt;
    return zone;
}

std::optional<LocalTime> TimeZone::at(PosixNs instant) const {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (!in_calendar(seconds)) return std::nullopt;
    if (zone_ == nullptr) {
        return LocalTime{PosixNs{instant.ns + i128{fixed_offset_} * NS_PER_SECOND}, fixed_offset_,
                         offset_text(fixed_offset_)};
    }
    date::sys_seconds const at{std::chrono::seconds{static_cast<int64_t>(seconds)}};
    return local_from(zone_->get_info(at), instant);
}

std::optional<WallClockInstants> TimeZone::instants_of(PosixNs wall) const {
    i128 const seconds = floor_div(wall.ns, NS_PER_SECOND);
    if (!in_calendar(seconds)) return std::nullopt;
    auto const instant_at = [&](int32_t offset) { return PosixNs{wall.ns - i128{offset} * NS_PER_SECOND}; };
    WallClockInstants out;
    if (zone_ == nullptr) {
        out.first_instant = instant_at(fixed_offset_);
        out.first = LocalTime{wall, fixed_offset_, offset_text(fixed_offset_)};
        return out;
    }
    date::local_seconds const local{std::chrono::seconds{static_cast<int64_t>(seconds)}};
    date::local_info const info = zone_->get_info(local);
    auto const offset_of = [](const date::sys_info& i) { return static_cast<int32_t>(i.offset.count()); };
    out.first_instant = instant_at(offset_of(info.first));
    out.first = LocalTime{wall, offset_of(info.first), info.first.abbrev};
    switch (info.result) {
        case date::local_info::unique: break;
        case date::local_info::nonexistent: out.kind = WallClockKind::Gap; break;
        case date::local_info::ambiguous:
            out.kind = WallClockKind::Fold;
            out.second_instant = instant_at(offset_of(info.second));
            out.second = LocalTime{wall, offset_of(info.second), info.second.abbrev};
            break;
    }
    return out;
}

}  // namespace epochsift
