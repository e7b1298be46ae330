// The string-format table: thirteen self-describing textual forms, tried in
// this order for every input.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// A pure function from trimmed text to an instant, or nothing when the text
// is not in the parser's form.
using StringParser = std::optional<PosixNs> (*)(std::string_view text);

struct StringFormat {
    StringParser parse;
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    std::string_view note;
};

extern const std::array<StringFormat, 13> STRING_FORMATS;

}  // namespace epochsift
