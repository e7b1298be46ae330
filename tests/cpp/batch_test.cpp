// The binding's Python-free batch parts: the chunk pool runs every job once
// and hands chunks over in order; the string reader follows the Arrow
// columnar layout (offsets, validity bits, string views, struct parents).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
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

ArrowSchema schema_of(const char* format) {
    ArrowSchema schema{};
    schema.format = format;
    return schema;
}

std::vector<std::string> read_back(const ArrowSchema& schema, const ArrowArray& array) {
    TextColumn column;
    EXPECT_EQ(append_texts(schema, array, column), ArrowReadFault::None);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < column.texts.size(); ++i) {
        out.push_back(column.valid[i] ? std::string(column.texts[i]) : "<null>");
    }
    return out;
}

}  // namespace

// ["a", null, "", "xyz"] as utf8 and large_utf8, read from offset 1: the
// columnar format's layout with validity bit i at bit (i % 8) of byte i / 8.
TEST(ArrowStrings, ReadsOffsetsAndValidityFromTheArraysOffset) {
    uint8_t const validity[] = {0b1101};
    int32_t const offsets32[] = {0, 1, 1, 1, 4};
    int64_t const offsets64[] = {0, 1, 1, 1, 4};
    char const data[] = "axyz";
    for (bool large : {false, true}) {
        const void* buffers[] = {validity, large ? static_cast<const void*>(offsets64) : offsets32, data};
        ArrowArray array{};
        array.length = 3;
        array.null_count = 1;
        array.offset = 1;
        array.n_buffers = 3;
        array.buffers = buffers;
        EXPECT_EQ(read_back(schema_of(large ? "U" : "u"), array), (std::vector<std::string>{"<null>", "", "xyz"}));
    }
}

// string_view: 16 bytes a row, up to 12 bytes inline after the int32
// length, else the length, a 4-byte prefix, a data-buffer index and offset.
TEST(ArrowStrings, ReadsInlineAndOutOfLineStringViews) {
    std::string const longer = "2023-11-14T22:13:20Z";
    uint8_t views[32] = {};
    int32_t const short_length = 10;
    std::memcpy(views, &short_length, 4);
    std::memcpy(views + 4, "1700000000", 10);
    int32_t const long_length = static_cast<int32_t>(longer.size()), index = 0, offset = 3;
    std::memcpy(views + 16, &long_length, 4);
    std::memcpy(views + 20, longer.data(), 4);
    std::memcpy(views + 24, &index, 4);
    std::memcpy(views + 28, &offset, 4);
    std::string const data_buffer = "---" + longer;
    int64_t const sizes[] = {static_cast<int64_t>(data_buffer.size())};
    const void* buffers[] = {nullptr, views, data_buffer.data(), sizes};
    ArrowArray array{};
    array.length = 2;
    array.n_buffers = 4;
    array.buffers = buffers;
    EXPECT_EQ(read_back(schema_of("vu"), array), (std::vector<std::string>{"1700000000", longer}));
}

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
    TextColumn column;
    EXPECT_EQ(append_texts(schema_of("l"), array, column), ArrowReadFault::UnsupportedType);  // int64
    EXPECT_EQ(append_texts(schema_of("z"), array, column), ArrowReadFault::UnsupportedType);  // binary
    EXPECT_EQ(append_texts(schema_of("u"), array, column), ArrowReadFault::Malformed);  // two buffers, not three
    const void* buffers[] = {nullptr, nullptr, nullptr};
    array.n_buffers = 3;
    array.buffers = buffers;
    EXPECT_EQ(append_texts(schema_of("u"), array, column), ArrowReadFault::Malformed);  // no offsets
}
