#include "engine/identify.hpp"

#include "core/ascii_scan.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/confidence.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "engine/interpret_extended.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "engine/neighbour_evidence.hpp"
#include "engine/ranking.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

namespace {

constexpr std::size_t FLOAT_FAMILY_COUNT = [] {
    std::size_t count = 0;
    for (NumericFamily const& family : NUMERIC_FAMILIES) count += family.encoding.tag == Encoding::Tag::Float ? 1 : 0;
    return count;
}();

}  // namespace

std::vector<Candidate> identify(std::string_view value) { return identify(value, ReadOptions{}); }

std::vector<Candidate> identify(std::string_view value, const ReadOptions& given) {
    ReadOptions storage;
    const ReadOptions& options = with_useful_hint(given, storage);
    std::string_view const text = trim_white_space(value);
    std::vector<Candidate> readings;
    if (auto const integer = parse_integer(text)) {
        readings.reserve(NUMERIC_FAMILIES.size());
        if (options.extended && !options.context.neighbours.empty()) {
            NeighbourEvidence const column = neighbour_evidence(*integer, options);
            append_integer_readings(readings, *integer, options, &column);
        } else {
            append_integer_readings(readings, *integer, options);
        }
    } else {
        append_float_path(readings, text, options);
    }
    append_text_readings_and_rank(readings, text, options);
    if (options.extended) assign_confidence(readings);
    return readings;
}

bool append_float_path(std::vector<Candidate>& readings, std::string_view text, const ReadOptions& options) {
    auto const number = parse_float(text);
    if (!number) return false;
    // Room for every float family's reading and a few more: growing one
    // at a time moved the readings three or four times a call.
    readings.reserve(FLOAT_FAMILY_COUNT + 4);
    append_float_readings(readings, *number, options);
    return true;
}

void append_text_readings_and_rank(std::vector<Candidate>& readings, std::string_view text, const ReadOptions& options) {
    std::size_t const numeric_count = readings.size();
    append_string_readings(readings, text);
    if (!options.extended) {
        rank(readings);
        return;
    }
    if (!text.empty() && all_ascii_digits(text)) {
        for (std::size_t i = numeric_count; i < readings.size(); ++i) {
            Candidate& reading = readings[i];
            if (!reading.facts.zone_unstated) continue;
            bool const inside = options.window && options.window->contains(reading.instant);
            add_bare_digits_evidence(reading, options.window.has_value(), inside);
        }
    }
    append_extended_readings(readings, text, options);
    rank_extended(readings);
}

std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& given,
                                      std::optional<ByteOrder> order) {
    // A hint that names no family is left out, and the byte order says how
    // to read the bytes rather than scoring a reading.
    ReadOptions options = given;
    options.context.byte_order.reset();
    if (options.context.artifact_hint && !options.context.artifact_hint->implies_a_family()) {
        options.context.artifact_hint.reset();
    }
    std::vector<Candidate> readings;
    append_byte_readings(readings, bytes, options, order);
    append_digit_byte_readings(readings, bytes, options);
    rank_extended(readings);
    assign_confidence(readings);
    return readings;
}

}  // namespace epochsift
