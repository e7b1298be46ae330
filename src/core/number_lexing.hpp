// The two number forms an input value may take: a 64-bit integer and a
// decimal (or inf/nan) correctly rounded to binary64.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace epochsift {

// An optional sign and ASCII digits that fit a signed 64-bit integer.
std::optional<int64_t> parse_integer(std::string_view text);

// A decimal number, inf, infinity or nan, correctly rounded to binary64.
std::optional<double> parse_float(std::string_view text);

}  // namespace epochsift
