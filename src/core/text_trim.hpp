// Trimming of Unicode White_Space (UTF-8) around one input value.
#pragma once

#include <string_view>

namespace epochsift {

// Strips leading and trailing characters with the Unicode White_Space
// property (UTF-8); a truncated or other sequence stays.
std::string_view trim_white_space(std::string_view text);

}  // namespace epochsift
