#include "engine/identify.hpp"

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "engine/ranking.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value) {
    std::string_view const text = trim_white_space(value);
    std::vector<Candidate> readings;
    if (auto const integer = parse_integer(text)) {
        readings.reserve(NUMERIC_FAMILIES.size());
        append_integer_readings(readings, *integer, IntContext{});
    } else if (auto const number = parse_float(text)) {
        append_float_readings(readings, *number);
    }
    append_string_readings(readings, text);
    rank(readings);
    return readings;
}

}  // namespace epochsift
