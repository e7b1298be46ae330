#include "cli/window_text.hpp"

#include <charconv>
#include <cstdint>

#include "core/civil.hpp"
#include "engine/instant_text.hpp"

namespace epochsift::cli {

namespace {

constexpr i128 NS_PER_DAY = i128{86'400} * NS_PER_SECOND;

// A span of instants one side of the window names: a year, month or day
// covers all of it; a date-time or a count is one instant (end == start).
struct Side {
    PosixNs start;
    PosixNs end;
};

// A run of exactly `width` ASCII digits at the front of text.
std::optional<int32_t> digits(std::string_view text, std::size_t width) {
    if (text.size() < width) return std::nullopt;
    int32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        char const c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// YYYY, YYYY-MM or YYYY-MM-DD: the whole year, month or day in UTC.
std::optional<Side> calendar_side(std::string_view text) {
    if (text.size() != 4 && text.size() != 7 && text.size() != 10) return std::nullopt;
    auto const year = digits(text, 4);
    if (!year) return std::nullopt;
    CivilTime civil{.year = *year};
    i128 days = is_leap_year(*year) ? 366 : 365;
    if (text.size() >= 7) {
        auto const month = digits(text.substr(5), 2);
        if (text[4] != '-' || !month) return std::nullopt;
        civil.month = *month;
        if (civil.month < 1 || civil.month > 12) return std::nullopt;
        days = days_in_month(civil.year, civil.month);
    }
    if (text.size() == 10) {
        auto const day = digits(text.substr(8), 2);
        if (text[7] != '-' || !day) return std::nullopt;
        civil.day = *day;
        days = 1;
    }
    auto const start = civil_to_posix(civil);
    if (!start) return std::nullopt;
    return Side{*start, PosixNs{start->ns + days * NS_PER_DAY}};
}

// An integer count with its unit: 1700000000s, 1700000000000ms, ...us, ...ns.
std::optional<Side> count_side(std::string_view text) {
    struct Unit {
        std::string_view suffix;
        i128 ns;
    };
    // "ms", "us" and "ns" before "s", which ends all three.
    constexpr Unit UNITS[] = {{"ms", 1'000'000}, {"us", 1'000}, {"ns", 1}, {"s", NS_PER_SECOND}};
    for (const Unit& unit : UNITS) {
        if (!text.ends_with(unit.suffix)) continue;
        std::string_view const number = text.substr(0, text.size() - unit.suffix.size());
        int64_t count = 0;
        auto const [end, error] = std::from_chars(number.data(), number.data() + number.size(), count);
        if (number.empty() || error != std::errc{} || end != number.data() + number.size()) return std::nullopt;
        PosixNs const instant{i128{count} * unit.ns};  // |count| < 2^63, unit <= 10^9: no overflow in 128 bits
        return Side{instant, instant};
    }
    return std::nullopt;
}

std::optional<Side> side_of(std::string_view text) {
    if (auto const calendar = calendar_side(text)) return calendar;
    if (auto const count = count_side(text)) return count;
    // A date-time needs its offset: a wall clock alone names no instant.
    if (auto const instant = parse_instant(text); instant && text.find(':') != std::string_view::npos) {
        return Side{*instant, *instant};
    }
    return std::nullopt;
}

}  // namespace

std::optional<InstantWindow> parse_window(std::string_view text) {
    // Neither side can hold "..": RFC 3339 has one point at most, before the fraction.
    std::size_t const split = text.find("..");
    if (split == std::string_view::npos) {
        // One year, month or day alone is the whole of it.
        auto const whole = calendar_side(text);
        if (!whole) return std::nullopt;
        return InstantWindow{whole->start, whole->end};
    }
    auto const first = side_of(text.substr(0, split));
    auto const last = side_of(text.substr(split + 2));
    if (!first || !last) return std::nullopt;
    // A year, month or day at the end takes in all of it.
    PosixNs const end = last->end.ns > last->start.ns ? last->end : last->start;
    if (!(first->start.ns < end.ns)) return std::nullopt;
    return InstantWindow{first->start, end};
}

}  // namespace epochsift::cli
