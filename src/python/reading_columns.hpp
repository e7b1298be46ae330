// The readings of a string column as Arrow columns: one row per kept
// reading, with the input row it belongs to. Buffers are sized once from
// the rows and handed to consumers through the C data interface; every
// exported array shares them and the last release frees them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/candidate.hpp"
#include "formats/catalog.hpp"
#include "python/arrow_abi.hpp"
#include "python/block_cache.hpp"

namespace epochsift::python {

class ReadingColumns;

// Bytes appended at the end of a block grown by hand: a vector would zero
// the room each append then writes over. Large blocks come from, and go
// back to, the block cache. Throws std::bad_alloc only.
class ByteBlock {
public:
    ByteBlock() = default;
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;
    ByteBlock(ByteBlock&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ByteBlock& operator=(ByteBlock&& other) noexcept {
        if (this != &other) {
            give_block(block_, capacity_);
            block_ = std::exchange(other.block_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }
    ~ByteBlock() { give_block(block_, capacity_); }

    void reserve(std::size_t bytes) {
        if (bytes > capacity_) grow(bytes);
    }
    // Room for n more bytes at the end; commit(k) keeps the first k written.
    char* room(std::size_t n) {
        if (capacity_ - size_ < n) grow(std::max(size_ + n, 2 * capacity_));
        return block_ + size_;
    }
    void commit(std::size_t n) { size_ += n; }
    void append(const char* bytes, std::size_t n) {
        if (n == 0) return;
        std::memcpy(room(n), bytes, n);
        size_ += n;
    }
    const char* data() const { return block_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }

private:
    void grow(std::size_t capacity) {
        auto* const grown = static_cast<char*>(take_block(capacity));
        if (size_ != 0) std::memcpy(grown, block_, size_);
        give_block(block_, capacity_);
        block_ = grown;
        capacity_ = capacity;
    }

    char* block_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The readings of one chunk of rows, kept column by column as they are
// made: no row object, and the rendering written once, where it is made
// (by the worker that read the value). The columns share one count and one
// room, so a row costs one test of the room. Throws std::bad_alloc only.
class ReadingRows {
public:
    // by_column: which path made a row; Unset without by_column.
    enum class Path : uint8_t { Unset, Verdict, Full };

    void reserve(std::size_t rows) {
        if (rows > capacity_) grow(rows);
    }
    // A reading of the input row, ranked rank (1 for a value's best).
    // confidence: NO_CONFIDENCE where the reading weighs none (null in the column).
    void add(int64_t row, int32_t rank, FormatRef format, PosixNs instant, double score, double confidence,
             Path path);
    void add(int64_t row, int32_t rank, const Candidate& reading, Path path) {
        add(row, rank, reading.format, reading.instant, reading.score, reading.confidence, path);
    }
    // The row of an input nothing reads, kept with keep_empty: rank 0 marks
    // every reading field null.
    void add_empty(int64_t row);
    std::size_t size() const { return size_; }

private:
    friend class ReadingColumnsBuilder;

    template <class T>
    using Column = std::unique_ptr<T[]>;

    // Room for the next row.
    std::size_t next() {
        if (size_ == capacity_) grow(std::max<std::size_t>(2 * capacity_, 64));
        return size_++;
    }
    void grow(std::size_t capacity);

    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    Column<int64_t> row_;
    Column<int32_t> rank_;
    Column<FormatRef> format_;
    Column<int64_t> instant_;     // 0 where it does not fit
    Column<uint8_t> fits_;        // the instant fits int64
    Column<double> score_;
    Column<double> confidence_;  // NO_CONFIDENCE where none was weighed
    Column<Path> path_;
    Column<uint8_t> rendered_length_;  // 0: not rendered (outside the calendar range)
    ByteBlock rendered_;  // the renderings back to back
};

// The columns of the readings of a column's chunks, appended in order as
// each chunk is read, so a chunk's rows are freed (and their room reused
// for the next chunks) as soon as they are copied. Throws std::bad_alloc
// only. With with_path, a last field `path` names the path that made each
// row ("verdict" or "full"; null where nothing reads).
class ReadingColumnsBuilder {
public:
    // expected_rows: room reserved (not written) for that many rows.
    ReadingColumnsBuilder(bool with_path, std::size_t expected_rows);
    ~ReadingColumnsBuilder();
    void append(const ReadingRows& part);
    // The columns; the builder is spent.
    std::shared_ptr<const ReadingColumns> finish();

private:
    std::shared_ptr<ReadingColumns> columns_;
    std::size_t expected_rows_;
};

int64_t row_count(const ReadingColumns& columns);

// Fill `schema` and `array` (both owned by the caller until released
// through their release callbacks). Throw std::bad_alloc only.
void export_schema(const ReadingColumns& columns, ArrowSchema& schema);
void export_array(const std::shared_ptr<const ReadingColumns>& columns, ArrowArray& array);
// A stream of one array, then the end.
void export_stream(const std::shared_ptr<const ReadingColumns>& columns, ArrowArrayStream& stream);

}  // namespace epochsift::python
