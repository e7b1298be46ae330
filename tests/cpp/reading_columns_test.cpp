// The Arrow columns of a column's readings, built chunk by chunk, against a
// plain list of the rows they were given: every field of every row, the
// nulls, and buffers that outlive a chunk's reallocations.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "formats/catalog.hpp"
#include "python/reading_columns.hpp"

namespace epochsift::python {
namespace {

struct Expected {
    int64_t row;
    int32_t rank;  // 0: nothing read, every reading field null
    std::string format_id, label;
    std::optional<int64_t> instant;
    std::optional<std::string> rendered;
    double score;
    std::optional<double> confidence;  // none: null in the column
    std::string path;
};

bool valid(const ArrowArray& array, int64_t i) {
    auto const* bits = static_cast<const uint8_t*>(array.buffers[0]);
    return bits == nullptr || ((bits[i >> 3] >> (i & 7)) & 1) != 0;
}

std::string text_at(const ArrowArray& array, int64_t i) {
    auto const* offsets = static_cast<const int32_t*>(array.buffers[1]);
    auto const* data = static_cast<const char*>(array.buffers[2]);
    return std::string(data + offsets[i], static_cast<std::size_t>(offsets[i + 1] - offsets[i]));
}

template <class T>
T value_at(const ArrowArray& array, int64_t i) {
    T value;
    std::memcpy(&value, static_cast<const char*>(array.buffers[1]) + i * sizeof(T), sizeof(T));
    return value;
}

// How a chunk's rows vary: row by row, or alike through the chunk (as a
// column read by its verdict gives them), each chunk of its own kind.
enum class Chunks { Mixed, Alike };

class ReadingColumnsChunks : public ::testing::TestWithParam<Chunks> {};

TEST_P(ReadingColumnsChunks, EveryFieldOfEveryRowAcrossChunks) {
    bool const alike = GetParam() == Chunks::Alike;
    std::mt19937_64 random(25);
    std::vector<Expected> expected;
    std::vector<ReadingRows> parts(alike ? 7 : 5);
    int64_t row = 0;
    // Runs of rows of one format and path, and of unread rows, as a column
    // read by its verdict gives them: the texts and bitmaps are written a run
    // at a time, runs that start and end anywhere in a bitmap's byte.
    FormatRef format = *FormatRef::from_index(0);
    auto path = ReadingRows::Path::Verdict;
    std::size_t unread_run = 0;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        std::size_t const rows = p == 2 ? 0 : 1 + random() % 3000;  // an empty chunk among them
        // Alike: the first chunk's renderings carry fractions (longer than
        // the room first reserved), one chunk is unread, one is past int64,
        // one differs in a single row.
        bool const all_unread = alike && p == 3;
        bool const with_confidence = alike && p % 2 == 1;
        for (std::size_t k = 0; k < rows; ++k, ++row) {
            if (!alike && unread_run == 0 && random() % 12 == 0) {
                unread_run = 1 + random() % (random() % 3 == 0 ? 40 : 3);
            }
            if (unread_run > 0 || all_unread) {
                --unread_run;
                parts[p].add_empty(row);
                expected.push_back({row, 0, "", "", std::nullopt, std::nullopt, 0.0, std::nullopt, ""});
                continue;
            }
            if (!alike && random() % 6 == 0) format = *FormatRef::from_index(random() % FORMAT_COUNT);
            if (!alike && random() % 9 == 0) path = random() % 2 ? ReadingRows::Path::Verdict : ReadingRows::Path::Full;
            // Within int64 nanoseconds; past them but in the calendar; past the calendar.
            i128 ns = static_cast<i128>(static_cast<int64_t>(random()));
            if (!alike && random() % 5 == 0) ns = static_cast<i128>(random() % 10'000) * 31'556'952 * 1'000'000'000;
            if (alike && p == 4) ns = static_cast<i128>(random() % 7'000 + 2'300) * 31'556'952 * 1'000'000'000;
            if (!alike && random() % 11 == 0) {
                ns = static_cast<i128>(static_cast<int64_t>(random())) * static_cast<i128>(random() >> 1);
            }
            if (alike && p != 4) ns = ns / 100 * 100 + 1;  // seven digits of a fraction or more
            PosixNs const instant{ns};
            double const score = static_cast<double>(random() % 1000) / 999.0;
            int32_t const rank = 1 + static_cast<int32_t>(random() % 3);
            // Some rows weigh no confidence (a verdict's own reading, the reference reading).
            // One chunk alike but for its third row.
            bool const unweighed = alike ? !with_confidence || (p == 5 && k == 2) : random() % 4 == 0;
            double const confidence = unweighed ? NO_CONFIDENCE : static_cast<double>(random() % 1001) / 1000.0;
            parts[p].add(row, rank, format, instant, score, confidence, path);
            bool const fits = ns >= INT64_MIN && ns <= INT64_MAX;
            expected.push_back({row, rank, std::string(catalog_entry(format).id), std::string(catalog_entry(format).label),
                                fits ? std::optional<int64_t>(static_cast<int64_t>(ns)) : std::nullopt,
                                instant.to_rfc3339(), score,
                                confidence < 0.0 ? std::nullopt : std::optional<double>(confidence),
                                path == ReadingRows::Path::Verdict ? "verdict" : "full"});
        }
    }
    // Mixed: far too little room, every buffer grows. Alike: the room of
    // the rows expected, the renderings' by the first chunk's lengths.
    ReadingColumnsBuilder builder(true, alike ? expected.size() : 16);
    for (ReadingRows const& part : parts) builder.append(part);
    std::shared_ptr<const ReadingColumns> const columns = builder.finish();
    ASSERT_EQ(row_count(*columns), static_cast<int64_t>(expected.size()));

    ArrowSchema schema{};
    ArrowArray array{};
    export_schema(*columns, schema);
    export_array(columns, array);
    ASSERT_EQ(schema.n_children, 9);
    ASSERT_EQ(array.n_children, 9);
    const char* const names[] = {"row", "rank", "format_id", "label", "instant", "rendered", "score", "confidence", "path"};
    for (int f = 0; f < 9; ++f) EXPECT_STREQ(schema.children[f]->name, names[f]);
    ArrowArray const* const* c = array.children;
    for (int f = 0; f < 9; ++f) ASSERT_EQ(c[f]->length, static_cast<int64_t>(expected.size()));
    int64_t unread = 0, no_instant = 0, unrendered = 0, unweighed = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Expected const& e = expected[i];
        auto const at = static_cast<int64_t>(i);
        EXPECT_EQ(value_at<int64_t>(*c[0], at), e.row);
        bool const read = e.rank != 0;
        unread += read ? 0 : 1;
        for (int f : {1, 2, 3, 6, 8}) EXPECT_EQ(valid(*c[f], at), read) << i << ' ' << names[f];
        EXPECT_EQ(valid(*c[7], at), e.confidence.has_value()) << i;
        unweighed += e.confidence ? 0 : 1;
        if (e.confidence) EXPECT_EQ(value_at<double>(*c[7], at), *e.confidence) << i;
        EXPECT_EQ(valid(*c[4], at), e.instant.has_value()) << i;
        no_instant += e.instant ? 0 : 1;
        EXPECT_EQ(valid(*c[5], at), e.rendered.has_value()) << i;
        unrendered += e.rendered ? 0 : 1;
        if (e.instant) EXPECT_EQ(value_at<int64_t>(*c[4], at), *e.instant) << i;
        if (e.rendered) EXPECT_EQ(text_at(*c[5], at), *e.rendered) << i;
        if (!read) continue;
        EXPECT_EQ(value_at<int32_t>(*c[1], at), e.rank) << i;
        EXPECT_EQ(text_at(*c[2], at), e.format_id) << i;
        EXPECT_EQ(text_at(*c[3], at), e.label) << i;
        EXPECT_EQ(value_at<double>(*c[6], at), e.score) << i;
        EXPECT_EQ(text_at(*c[8], at), e.path) << i;
    }
    for (int f : {1, 2, 3, 6, 8}) EXPECT_EQ(c[f]->null_count, unread) << names[f];
    EXPECT_EQ(c[7]->null_count, unweighed);
    EXPECT_EQ(c[4]->null_count, no_instant);
    EXPECT_EQ(c[5]->null_count, unrendered);
    array.release(&array);
    schema.release(&schema);
}

INSTANTIATE_TEST_SUITE_P(ReadingColumns, ReadingColumnsChunks, ::testing::Values(Chunks::Mixed, Chunks::Alike));

TEST(ReadingColumns, NoRowsStillHaveBuffers) {
    ReadingColumnsBuilder builder(false, 0);
    builder.append(ReadingRows());
    std::shared_ptr<const ReadingColumns> const columns = builder.finish();
    ArrowArray array{};
    export_array(columns, array);
    ASSERT_EQ(array.n_children, 8);
    for (int64_t f = 0; f < array.n_children; ++f) {
        EXPECT_EQ(array.children[f]->length, 0);
        for (int64_t b = 1; b < array.children[f]->n_buffers; ++b) EXPECT_NE(array.children[f]->buffers[b], nullptr) << f;
    }
    array.release(&array);
}

}  // namespace
}  // namespace epochsift::python
