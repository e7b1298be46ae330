#include "engine/identify.hpp"

#include <algorithm>
#include <iterator>

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "engine/ranking.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value) {
    std::string_view const text = trim_white_space(value);
    std::vector<Candidate> result;
    if (auto const integer = parse_integer(text)) {
        result = interpret_int_with_context(*integer, IntContext{});
    } else if (auto const number = parse_float(text)) {
        result = interpret_float(*number);
    }
    std::vector<Candidate> strings = interpret_string(text);
    result.reserve(result.size() + strings.size());
    std::move(strings.begin(), strings.end(), std::back_inserter(result));
    // A stable sort leaves a sorted list as it is; most lists arrive sorted
    // (numeric readings in candidate order, or string readings alone).
    auto const by_score = [](const Candidate& a, const Candidate& b) { return b.score < a.score; };
    if (!std::is_sorted(result.begin(), result.end(), by_score)) {
        std::stable_sort(result.begin(), result.end(), by_score);
    }
    return result;
}

}  // namespace epochsift
