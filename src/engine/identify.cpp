#include "engine/identify.hpp"

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_extended.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "engine/ranking.hpp"
#include "formats/numeric_families.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value) { return identify(value, ReadOptions{}); }

std::vector<Candidate> identify(std::string_view value, const ReadOptions& options) {
    std::string_view const text = trim_white_space(value);
    std::vector<Candidate> readings;
    if (auto const integer = parse_integer(text)) {
        readings.reserve(NUMERIC_FAMILIES.size());
        append_integer_readings(readings, *integer, options);
    } else if (auto const number = parse_float(text)) {
        append_float_readings(readings, *number, options);
    }
    append_string_readings(readings, text);
    if (options.extended) append_extended_readings(readings, text, options);
    rank(readings);
    return readings;
}

std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& options,
                                      std::optional<ByteOrder> byte_order) {
    std::vector<Candidate> readings;
    append_byte_readings(readings, bytes, options, byte_order);
    rank(readings);
    return readings;
}

}  // namespace epochsift
