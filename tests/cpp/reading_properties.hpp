// What every answer of the engine must satisfy, whatever the input: the JSON
// text parses, holds the readings in score order, and each reading's text is
// the UTC calendar form of its instant (computed here with std::chrono, not
// with the engine's renderer). Shared by the hostile tests and the fuzzer.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/identify.hpp"
#include "output/reading_json.hpp"

namespace epochsift::test_support {

// The RFC 3339 text of an instant, or "" outside -9999..9999 shown at any offset.
inline std::string calendar_text(i128 ns) {
    constexpr i128 NS = 1'000'000'000;
    i128 seconds = ns / NS;
    if (ns % NS < 0) --seconds;  // floor
    auto const fraction = static_cast<long long>(ns - seconds * NS);
    // The range is whole seconds: toward zero, an instant just below the
    // first second still counts as inside it.
    i128 const toward_zero = ns / NS;
    if (toward_zero < epochsift::MIN_CALENDAR_SECOND || toward_zero > epochsift::MAX_CALENDAR_SECOND) return "";
    i128 days = seconds / 86400;
    if (seconds % 86400 < 0) --days;
    auto const second_of_day = static_cast<long long>(seconds - days * 86400);
    std::chrono::year_month_day const date{std::chrono::sys_days{std::chrono::days{static_cast<long long>(days)}}};
    int const year = static_cast<int>(date.year());
    char text[64];
    int n = year < 0 ? std::snprintf(text, sizeof text, "-%06d", -year) : std::snprintf(text, sizeof text, "%04d", year);
    n += std::snprintf(text + n, sizeof text - n, "-%02u-%02uT%02lld:%02lld:%02lld", static_cast<unsigned>(date.month()),
                       static_cast<unsigned>(date.day()), second_of_day / 3600, second_of_day / 60 % 60,
                       second_of_day % 60);
    std::string out(text, static_cast<std::size_t>(n));
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%09lld", fraction);
        std::string digits(text);
        while (digits.back() == '0') digits.pop_back();
        out += digits;
    }
    return out + "Z";
}

// Instants past 64 bits parse as doubles; the ones that fit compare exactly.
inline bool same_instant(const nlohmann::json& instant, i128 ns) {
    if (instant.is_number_unsigned()) return i128{instant.get<unsigned long long>()} == ns;
    return !instant.is_number_integer() || i128{instant.get<long long>()} == ns;
}

// "" when json_text is the JSON of readings, ranked by score, each reading's
// text its instant's calendar form; else what broke. The extended ranking
// also orders by score first, so the check holds for both.
inline std::string readings_faults(const std::string& json_text, const std::vector<epochsift::Candidate>& readings) {
    nlohmann::json const json = nlohmann::json::parse(json_text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_array()) return "not a JSON array: " + json_text.substr(0, 200);
    if (json.size() != readings.size()) return "JSON and identify disagree on the count";
    for (std::size_t i = 0; i < readings.size(); ++i) {
        auto const& reading = json[i];
        if (i > 0 && json[i - 1]["score"].get<double>() < reading["score"].get<double>()) return "not ranked by score";
        if (reading["format_id"] != std::string(readings[i].format_id())) return "format_id differs from identify";
        std::string const expected = calendar_text(readings[i].instant.ns);
        std::string const rendered = reading["rendered"].is_null() ? "" : reading["rendered"].get<std::string>();
        if (rendered != expected) {
            return std::string(readings[i].format_id()) + " rendered " + rendered + ", expected " + expected;
        }
        if (!same_instant(reading["instant"], readings[i].instant.ns)) {
            return std::string(readings[i].format_id()) + " instant differs from identify";
        }
    }
    return "";
}

// The reference reading of text.
inline std::string reading_faults(std::string_view text) {
    return readings_faults(epochsift::identify_json(text), epochsift::identify(text));
}

}  // namespace epochsift::test_support
