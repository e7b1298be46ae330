// The lines of a text as the C interface reads a column: split at "\n",
// a "\r" before it dropped, no empty line after a final "\n".
#pragma once

#include <string_view>

namespace epochsift::wasm {

template <class Visit>
void for_each_line(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        std::size_t const end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

}  // namespace epochsift::wasm
