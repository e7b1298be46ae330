// The readings of a string column as Arrow columns: one row per kept
// reading, with the input row it belongs to. Buffers are sized once from
// the rows and handed to consumers through the C data interface; every
// exported array shares them and the last release frees them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "python/arrow_abi.hpp"

namespace epochsift::python {

// What the columns keep of one reading.
struct ReadingRow {
    int64_t row;   // the input row
    int32_t rank;  // 1 for a value's best reading; 0 for an input nothing reads (every reading field null)
    std::string_view format_id;  // static texts of the engine's tables
    std::string_view label;
    i128 instant;
    std::optional<RenderedText> rendered;
    double score;
    double confidence;  // NO_CONFIDENCE where the reading weighs none (null in the column)
    // by_column: which path made the row; Unset without by_column.
    enum class Path : uint8_t { Unset, Verdict, Full } path = Path::Unset;
};

class ReadingColumns;

// Throws std::bad_alloc only. With with_path, a last field `path` names the
// path that made each row ("verdict" or "full"; null where nothing reads).
std::shared_ptr<const ReadingColumns> build_reading_columns(std::span<const std::span<const ReadingRow>> parts,
                                                            bool with_path = false);

int64_t row_count(const ReadingColumns& columns);

// Fill `schema` and `array` (both owned by the caller until released
// through their release callbacks). Throw std::bad_alloc only.
void export_schema(const ReadingColumns& columns, ArrowSchema& schema);
void export_array(const std::shared_ptr<const ReadingColumns>& columns, ArrowArray& array);
// A stream of one array, then the end.
void export_stream(const std::shared_ptr<const ReadingColumns>& columns, ArrowArrayStream& stream);

}  // namespace epochsift::python
