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
    for (std::size_t i = 0; i < column.texts.size(); ++i) {
        out.push_back(column.valid[i] ? std::string(column.texts[i]) : "<null>");
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
    EXPECT_TRUE(column.texts.empty());  // nothing appended on a fault
}

// Integer columns are read as the decimal text of each value: the extremes of
// every width, signed and unsigned, with the array's offset and nulls.
TEST(ArrowIntegers, DecimalTextOfEveryWidthWithOffsetAndNulls) {
    struct Case {
        const char* format;
        std::vector<uint8_t> bytes;  // three little-endian values
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"c", {0x80, 0xFF, 0x7F}, {"-128", "-1", "127"}},
        {"C", {0x00, 0xFF, 0x7F}, {"0", "255", "127"}},
        {"s", {0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}, {"-32768", "-1", "32767"}},
        {"I", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x00, 0xF1, 0x53, 0x65}, {"4294967295", "0", "1700000000"}},
        {"l", {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xF1, 0x53, 0x65, 0, 0, 0, 0},
         {"-9223372036854775808", "-1", "1700000000"}},
        {"L", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {"18446744073709551615", "1", "0"}},
    };
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
        ASSERT_EQ(column.texts.size(), 3u) << c.format;
        EXPECT_EQ(column.texts[0], c.texts[0]) << c.format;
        EXPECT_EQ(column.valid[1], 0) << c.format;
        EXPECT_EQ(column.texts[2], c.texts[2]) << c.format;
        // From the second value on, every value present.
        array.offset = 1;
        array.length = 2;
        array.null_count = 0;
        TextColumn shifted;
        ASSERT_EQ(append_texts(schema, array, shifted), ArrowFault::None) << c.format;
        EXPECT_EQ(shifted.texts[0], c.texts[1]) << c.format;
        EXPECT_EQ(shifted.texts[1], c.texts[2]) << c.format;
    }
}
