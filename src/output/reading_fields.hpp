// The members of one reading, in the order every writer puts them: the JSON
// text (reading_json.cpp), the Python dicts (python/reading_objects.cpp) and
// the stub's Reading type, which tests/python/test_reading_shape.py checks
// against this list. A field added here is added to each of them, or a test
// fails.
//
// A field the reference reading does not weigh (confidence) is written only
// for the readings that have it: the reference reading's output never
// changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace epochsift {

enum class ReadingField : uint8_t {
    FormatId,
    Label,
    Citation,
    Instant,
    Rendered,
    Score,
    Confidence,
    Components,
    Assumptions,
    Sentinel,
};

inline constexpr auto READING_FIELD_NAMES = std::to_array<std::string_view>({
    "format_id", "label", "citation", "instant", "rendered", "score", "confidence", "components", "assumptions", "sentinel",
});
inline constexpr std::size_t READING_FIELD_COUNT = READING_FIELD_NAMES.size();
static_assert(static_cast<std::size_t>(ReadingField::Sentinel) + 1 == READING_FIELD_COUNT, "one name a field");

constexpr std::string_view field_name(ReadingField field) { return READING_FIELD_NAMES[static_cast<std::size_t>(field)]; }

// Whether a reading may go without the field: only the extended reading
// weighs a confidence.
constexpr bool extended_only_field(ReadingField field) { return field == ReadingField::Confidence; }

}  // namespace epochsift
