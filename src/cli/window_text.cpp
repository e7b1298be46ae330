#include "cli/window_text.hpp"

#include "engine/instant_text.hpp"

namespace epochsift::cli {

std::optional<InstantWindow> parse_window(std::string_view text) {
    // Neither side can hold "..": RFC 3339 has one point at most, before the fraction.
    std::size_t const split = text.find("..");
    if (split == std::string_view::npos) return std::nullopt;
    auto const start = parse_instant(text.substr(0, split));
    auto const end = parse_instant(text.substr(split + 2));
    if (!start || !end || !(start->ns < end->ns)) return std::nullopt;
    return InstantWindow{*start, *end};
}

}  // namespace epochsift::cli
