#include "cli/reading_flags.hpp"

#include <string_view>

namespace epochsift::cli {

ReadingFlags flags_of(const Candidate& reading) {
    return ReadingFlags{
        .sentinel = reading.facts.sentinel,
        .local = reading.facts.local,
        .outside_window = reading.facts.outside_window,
    };
}

std::string flags_text(ReadingFlags flags) {
    std::string text;
    auto const add = [&](std::string_view word) {
        if (!text.empty()) text += ' ';
        text += word;
    };
    if (flags.sentinel) add("sentinel");
    if (flags.local) add("local");
    if (flags.outside_window) add("outside-window");
    return text;
}

}  // namespace epochsift::cli
