// The binding's Python-free batch parts: the chunk pool runs every job once
// and hands chunks over in order; the string reader follows the Arrow
// columnar layout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "python/arrow_strings.hpp"
#include "python/chunk_pool.hpp"

using namespace epochsift::python;

TEST(ChunkPool, RunsEveryJobOnceAndHandsChunksOverInOrder) {
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        for (std::size_t chunks : {0u, 1u, 7u, 100u}) {
            for (std::size_t ahead : {1u, 3u, 1000u}) {
                std::vector<std::atomic<int>> runs(chunks);
                std::vector<std::atomic<bool>> finished(chunks);
                {
                    ChunkPool pool(chunks, threads, ahead, [&](std::size_t chunk) {
                        if (chunk % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                        ++runs[chunk];
                        finished[chunk] = true;
                    });
                    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
                        pool.take(chunk);
                        ASSERT_TRUE(finished[chunk]) << threads << " threads, chunk " << chunk;
                    }
                }
                for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
                    EXPECT_EQ(runs[chunk], 1) << threads << " threads, " << chunks << " chunks, chunk " << chunk;
                }
            }
        }
    }
}

TEST(ChunkPool, StopsEarlyWhenTheCallerTakesNoMore) {
    std::atomic<int> runs = 0;
    {
        ChunkPool pool(1000, 4, 2, [&](std::size_t) { ++runs; });
        pool.take(0);
    }
    // The window bounds the work done past the last chunk taken.
    EXPECT_LE(runs.load(), 1 + 2 + 4);
}

// try_take hands over a chunk a worker has finished and nothing else: it
// neither waits for one still being read nor reads one on the caller's
// thread, and a chunk it hands over moves the window on like take().
TEST(ChunkPool, TryTakeHandsOverOnlyAFinishedChunk) {
    std::atomic<bool> release = false;
    std::atomic<int> runs = 0;
    std::thread::id const caller = std::this_thread::get_id();
    std::atomic<bool> ran_on_caller = false;
    {
        ChunkPool pool(3, 1, 1, [&](std::size_t chunk) {
            ran_on_caller = ran_on_caller || std::this_thread::get_id() == caller;
            if (chunk == 0) {
                while (!release) std::this_thread::yield();
            }
            ++runs;
        });
        ASSERT_EQ(pool.workers(), 1u);
        EXPECT_FALSE(pool.try_take(0));  // still being read
        release = true;
        while (!pool.try_take(0)) std::this_thread::yield();
        pool.take(1);
        pool.take(2);
    }
    EXPECT_EQ(runs.load(), 3);
    EXPECT_FALSE(ran_on_caller);
}

namespace {

void release_schema(ArrowSchema* schema) { schema->release = nullptr; }
void release_array(ArrowArray* array) { array->release = nullptr; }

ArrowSchema schema_of(const char* format) {
    ArrowSchema schema{};
    schema.format = format;
    schema.release = release_schema;
    return schema;
}

std::vector<std::string> read_back(const ArrowSchema& schema, const ArrowArray& array) {
    TextColumn column;
    EXPECT_EQ(append_texts(schema, array, column), ArrowFault::None);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < column.size(); ++i) {
        epochsift::DecimalText room;
        out.push_back(column.valid[i] ? std::string(column.text(i, room)) : "<null>");
    }
    return out;
}

}  // namespace

// Offsets, validity bits and string views, inline and out of line, are read
// from pyarrow's own arrays in tests/python/test_arrow.py; a struct parent
// with nulls of its own and broken arrays pyarrow does not make are built here.
TEST(ArrowStrings, ReadsTheOneFieldOfAStructWithTheParentsNulls) {
    int32_t const offsets[] = {0, 2, 4, 6};
    char const data[] = "aabbcc";
    const void* child_buffers[] = {nullptr, offsets, data};
    ArrowArray child{};
    child.length = 3;
    child.n_buffers = 3;
    child.buffers = child_buffers;
    ArrowArray* children[] = {&child};
    uint8_t const parent_validity[] = {0b101};
    const void* parent_buffers[] = {parent_validity};
    ArrowArray parent{};
    parent.length = 3;
    parent.null_count = 1;
    parent.n_buffers = 1;
    parent.n_children = 1;
    parent.buffers = parent_buffers;
    parent.children = children;
    parent.release = release_array;
    ArrowSchema child_schema = schema_of("u");
    ArrowSchema* schema_children[] = {&child_schema};
    ArrowSchema schema = schema_of("+s");
    schema.n_children = 1;
    schema.children = schema_children;
    EXPECT_EQ(read_back(schema, parent), (std::vector<std::string>{"aa", "<null>", "cc"}));
}

TEST(ArrowStrings, RefusesOtherTypesAndMissingBuffers) {
    ArrowArray array{};
    array.length = 1;
    array.n_buffers = 2;
    const void* buffers[] = {nullptr, nullptr, nullptr};
    array.buffers = buffers;
    array.release = release_array;
    TextColumn column;
    EXPECT_EQ(append_texts(schema_of("l"), array, column), ArrowFault::MissingData);  // int64 without its values
    EXPECT_EQ(append_texts(schema_of("e"), array, column), ArrowFault::UnsupportedType);  // float16
    EXPECT_EQ(append_texts(schema_of("z"), array, column), ArrowFault::UnsupportedType);  // binary
    EXPECT_EQ(append_texts(schema_of("u"), array, column), ArrowFault::BadBufferCount);  // two buffers, not three
    array.n_buffers = 3;
    EXPECT_EQ(append_texts(schema_of("u"), array, column), ArrowFault::MissingOffsets);
    EXPECT_EQ(column.size(), 0u);  // nothing appended on a fault
}

// Integer columns are held as their values, each read as its decimal text
// where a reading takes text: the extremes of every width, signed and
// unsigned, with the array's offset and nulls. A uint64 above INT64_MAX has
// no int64 and is read by its text alone.
TEST(ArrowIntegers, ValuesAndDecimalTextOfEveryWidthWithOffsetAndNulls) {
    struct Case {
        const char* format;
        std::vector<uint8_t> bytes;  // three little-endian values
        std::vector<std::string> texts;
        bool first_is_int64;
    };
    const Case cases[] = {
        {"c", {0x80, 0xFF, 0x7F}, {"-128", "-1", "127"}, true},
        {"C", {0x00, 0xFF, 0x7F}, {"0", "255", "127"}, true},
        {"s", {0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}, {"-32768", "-1", "32767"}, true},
        {"I", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x00, 0xF1, 0x53, 0x65}, {"4294967295", "0", "1700000000"}, true},
        {"l", {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xF1, 0x53, 0x65, 0, 0, 0, 0},
         {"-9223372036854775808", "-1", "1700000000"}, true},
        {"L", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
         {"18446744073709551615", "1", "9223372036854775807"}, false},
    };
    auto text_of = [](const TextColumn& column, std::size_t row) {
        epochsift::DecimalText room;
        return std::string(column.text(row, room));
    };
    // The int64 a row's text reads as, where it reads as one.
    auto int64_of = [](const std::string& text) { return static_cast<int64_t>(std::stoll(text)); };
    for (const Case& c : cases) {
        ArrowSchema schema = schema_of(c.format);
        uint8_t const validity = 0b101;  // the middle value is null
        const void* buffers[] = {&validity, c.bytes.data()};
        ArrowArray array{};
        array.length = 3;
        array.null_count = 1;
        array.n_buffers = 2;
        array.buffers = buffers;
        array.release = release_array;
        TextColumn column;
        ASSERT_EQ(append_texts(schema, array, column), ArrowFault::None) << c.format;
        ASSERT_EQ(column.size(), 3u) << c.format;
        EXPECT_TRUE(column.texts.empty()) << c.format;  // no text made for a value
        EXPECT_EQ(text_of(column, 0), c.texts[0]) << c.format;
        EXPECT_EQ(column.valid[1], 0) << c.format;
        EXPECT_EQ(text_of(column, 1), "") << c.format;
        EXPECT_EQ(text_of(column, 2), c.texts[2]) << c.format;
        ASSERT_NE(column.integer(2), nullptr) << c.format;
        EXPECT_EQ(*column.integer(2), int64_of(c.texts[2])) << c.format;
        if (c.first_is_int64) {
            ASSERT_NE(column.integer(0), nullptr) << c.format;
            EXPECT_EQ(*column.integer(0), int64_of(c.texts[0])) << c.format;
        } else {
            EXPECT_EQ(column.integer(0), nullptr) << c.format;  // read by its text
        }
        // From the second value on, every value present.
        array.offset = 1;
        array.length = 2;
        array.null_count = 0;
        TextColumn shifted;
        ASSERT_EQ(append_texts(schema, array, shifted), ArrowFault::None) << c.format;
        EXPECT_EQ(text_of(shifted, 0), c.texts[1]) << c.format;
        EXPECT_EQ(text_of(shifted, 1), c.texts[2]) << c.format;
    }
}

// A column holds one type: rows of another would be read as the wrong kind.
TEST(ArrowIntegers, AColumnRefusesRowsOfAnotherType) {
    int64_t const values[] = {-1, 1700000000};
    const void* int_buffers[] = {nullptr, values};
    ArrowArray integers{};
    integers.length = 2;
    integers.n_buffers = 2;
    integers.buffers = int_buffers;
    integers.release = release_array;
    int32_t const offsets[] = {0, 2, 4};
    char const data[] = "aabb";
    const void* text_buffers[] = {nullptr, offsets, data};
    ArrowArray strings{};
    strings.length = 2;
    strings.n_buffers = 3;
    strings.buffers = text_buffers;
    strings.release = release_array;
    struct Case {
        const char* first;
        const ArrowArray* first_rows;
        const char* then;
        const ArrowArray* then_rows;
        ArrowFault fault;
    };
    const Case cases[] = {
        {"l", &integers, "l", &integers, ArrowFault::None},
        {"u", &strings, "u", &strings, ArrowFault::None},
        {"l", &integers, "u", &strings, ArrowFault::UnsupportedType},
        {"u", &strings, "l", &integers, ArrowFault::UnsupportedType},
        {"L", &integers, "l", &integers, ArrowFault::UnsupportedType},  // -1 is 2^64 - 1 as unsigned bits
        {"l", &integers, "L", &integers, ArrowFault::UnsupportedType},
        {"l", &integers, "i", &integers, ArrowFault::None},  // both held as int64
    };
    for (const Case& c : cases) {
        TextColumn column;
        ASSERT_EQ(append_texts(schema_of(c.first), *c.first_rows, column), ArrowFault::None) << c.first;
        ArrowFault const got = append_texts(schema_of(c.then), *c.then_rows, column);
        EXPECT_EQ(got, c.fault) << c.first << " then " << c.then;
        EXPECT_EQ(column.size(), c.fault == ArrowFault::None ? 4u : 2u) << c.first << " then " << c.then;
    }
}
