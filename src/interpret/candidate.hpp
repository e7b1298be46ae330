// One reading of the input: "if the value is in format F, it denotes
// instant T", with the evidence for and against it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "time/posix_ns.hpp"

namespace epochsift {

// A named plausibility measure in [0, 1]; the name is a static text.
struct ScoreComponent {
    std::string_view name;
    double value = 0.0;
};

struct Candidate {
    std::string_view format_id;  // static texts of a registry or string-format row
    std::string_view label;
    std::string_view citation;
    PosixNs instant;
    std::optional<std::string> rendered;  // absent outside the calendar range
    double score = 0.0;
    std::vector<ScoreComponent> components;
    std::vector<std::string> assumptions;
    bool sentinel = false;
};

}  // namespace epochsift
