// The Arrow column validator: each field a producer controls, set to what
// the C data interface forbids, is refused with its own fault before any row
// is read; offsets are accepted exactly when the interface allows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "python/arrow_strings.hpp"
#include "python/arrow_validate.hpp"

using namespace epochsift::python;

namespace {

void release_schema(ArrowSchema* schema) { schema->release = nullptr; }
void release_array(ArrowArray* array) { array->release = nullptr; }

// A well-formed utf8 column of three rows ("ab", "", "cde"), which each case
// then breaks in one field.
struct Utf8Column {
    int32_t offsets[4] = {0, 2, 2, 5};
    char data[6] = "abcde";
    uint8_t validity[1] = {0b111};
    const void* buffers[3] = {nullptr, offsets, data};
    ArrowSchema schema{};
    ArrowArray array{};

    Utf8Column() {
        schema.format = "u";
        schema.flags = ARROW_FLAG_NULLABLE;
        schema.release = release_schema;
        array.length = 3;
        array.n_buffers = 3;
        array.buffers = buffers;
        array.release = release_array;
    }
    ArrowFault check() const {
        ArrowFault const fault = validate_schema(schema);
        return fault != ArrowFault::None ? fault : validate_array(schema, array);
    }
};

}  // namespace

TEST(ArrowValidate, EachBrokenFieldHasItsFault) {
    ArrowSchema other{};
    ArrowArray other_array{};
    struct Case {
        const char* name;
        std::function<void(Utf8Column&)> breaks;
        ArrowFault fault;
    };
    Case const cases[] = {
        {"as built", [](Utf8Column&) {}, ArrowFault::None},
        {"negative length", [](Utf8Column& c) { c.array.length = -1; }, ArrowFault::NegativeLength},
        {"length 2^62", [](Utf8Column& c) { c.array.length = int64_t{1} << 62; }, ArrowFault::LengthTooLarge},
        {"offset + length overflow", [](Utf8Column& c) { c.array.offset = INT64_MAX - 1; }, ArrowFault::LengthTooLarge},
        {"negative offset", [](Utf8Column& c) { c.array.offset = -1; }, ArrowFault::NegativeOffset},
        {"null_count -2", [](Utf8Column& c) { c.array.null_count = -2; }, ArrowFault::BadNullCount},
        {"null_count > length", [](Utf8Column& c) { c.array.null_count = 4; }, ArrowFault::BadNullCount},
        {"nulls, no bitmap", [](Utf8Column& c) { c.array.null_count = 1; }, ArrowFault::MissingValidity},
        {"nulls with a bitmap", [](Utf8Column& c) { c.array.null_count = 1; c.buffers[0] = c.validity; }, ArrowFault::None},
        {"two buffers", [](Utf8Column& c) { c.array.n_buffers = 2; }, ArrowFault::BadBufferCount},
        {"negative n_buffers", [](Utf8Column& c) { c.array.n_buffers = -3; }, ArrowFault::BadBufferCount},
        {"buffers null", [](Utf8Column& c) { c.array.buffers = nullptr; }, ArrowFault::MissingBuffers},
        {"offsets null", [](Utf8Column& c) { c.buffers[1] = nullptr; }, ArrowFault::MissingOffsets},
        {"data null", [](Utf8Column& c) { c.buffers[2] = nullptr; }, ArrowFault::MissingData},
        {"data null, no bytes", [](Utf8Column& c) { c.buffers[2] = nullptr; c.array.offset = 1; c.array.length = 1; },
         ArrowFault::None},
        {"empty, no buffers", [](Utf8Column& c) { c.buffers[1] = c.buffers[2] = nullptr; c.array.length = 0; },
         ArrowFault::None},
        {"first offset negative", [](Utf8Column& c) { c.offsets[0] = -1; }, ArrowFault::BadOffsets},
        {"offsets decrease", [](Utf8Column& c) { c.offsets[2] = 1; }, ArrowFault::BadOffsets},
        {"decrease before a slice", [](Utf8Column& c) { c.offsets[0] = 9; c.array.offset = 1; c.array.length = 2; },
         ArrowFault::None},
        {"children on a string", [](Utf8Column& c) { c.array.n_children = 1; }, ArrowFault::BadArrayChildren},
        {"negative n_children", [](Utf8Column& c) { c.array.n_children = -1; }, ArrowFault::BadArrayChildren},
        {"array dictionary", [&](Utf8Column& c) { c.array.dictionary = &other_array; }, ArrowFault::UnexpectedDictionary},
        {"schema dictionary", [&](Utf8Column& c) { c.schema.dictionary = &other; }, ArrowFault::UnexpectedDictionary},
        {"unknown flag", [](Utf8Column& c) { c.schema.flags |= 8; }, ArrowFault::BadSchemaFlags},
        {"ordered, no dictionary", [](Utf8Column& c) { c.schema.flags = ARROW_FLAG_DICTIONARY_ORDERED; },
         ArrowFault::BadSchemaFlags},
        {"schema n_children -1", [](Utf8Column& c) { c.schema.n_children = -1; }, ArrowFault::BadSchemaChildren},
        {"schema children missing", [](Utf8Column& c) { c.schema.n_children = 2; }, ArrowFault::BadSchemaChildren},
        {"format uu", [](Utf8Column& c) { c.schema.format = "uu"; }, ArrowFault::UnsupportedType},
        {"format u then more", [](Utf8Column& c) { c.schema.format = "u\x01long"; }, ArrowFault::UnsupportedType},
        {"format null", [](Utf8Column& c) { c.schema.format = nullptr; }, ArrowFault::UnsupportedType},
        {"schema released", [](Utf8Column& c) { c.schema.release = nullptr; }, ArrowFault::ReleasedSchema},
        {"array released", [](Utf8Column& c) { c.array.release = nullptr; }, ArrowFault::ReleasedArray},
    };
    for (Case const& c : cases) {
        Utf8Column column;
        c.breaks(column);
        EXPECT_EQ(column.check(), c.fault) << c.name;
        TextColumn texts;
        EXPECT_EQ(append_texts(column.schema, column.array, texts), c.fault) << c.name;
        EXPECT_EQ(texts.size(), c.fault == ArrowFault::None ? static_cast<std::size_t>(column.array.length) : 0)
            << c.name;
    }
}

// A record batch: a struct of one string field, each link of which may be
// missing or short.
TEST(ArrowValidate, StructsNeedTheirOneChild) {
    Utf8Column field;
    ArrowSchema* schema_children[1] = {&field.schema};
    ArrowArray* array_children[1] = {&field.array};
    const void* validity[1] = {nullptr};
    struct Case {
        const char* name;
        std::function<void(ArrowSchema&, ArrowArray&)> breaks;
        ArrowFault fault;
    };
    Case const cases[] = {
        {"as built", [](ArrowSchema&, ArrowArray&) {}, ArrowFault::None},
        {"null child array", [&](ArrowSchema&, ArrowArray& a) { array_children[0] = nullptr; }, ArrowFault::BadArrayChildren},
        {"children null", [](ArrowSchema&, ArrowArray& a) { a.children = nullptr; }, ArrowFault::BadArrayChildren},
        {"two children", [](ArrowSchema&, ArrowArray& a) { a.n_children = 2; }, ArrowFault::BadArrayChildren},
        {"null child schema", [&](ArrowSchema&, ArrowArray&) { schema_children[0] = nullptr; }, ArrowFault::BadSchemaChildren},
        {"longer than its child", [](ArrowSchema&, ArrowArray& a) { a.length = 4; }, ArrowFault::ShortChild},
        {"offset past its child", [](ArrowSchema&, ArrowArray& a) { a.offset = 1; }, ArrowFault::ShortChild},
        {"two buffers", [](ArrowSchema&, ArrowArray& a) { a.n_buffers = 2; }, ArrowFault::BadBufferCount},
    };
    for (Case const& c : cases) {
        schema_children[0] = &field.schema;
        array_children[0] = &field.array;
        ArrowSchema schema{};
        schema.format = "+s";
        schema.n_children = 1;
        schema.children = schema_children;
        schema.release = release_schema;
        ArrowArray array{};
        array.length = 3;
        array.n_buffers = 1;
        array.n_children = 1;
        array.buffers = validity;
        array.children = array_children;
        array.release = release_array;
        c.breaks(schema, array);
        TextColumn texts;
        EXPECT_EQ(append_texts(schema, array, texts), c.fault) << c.name;
    }
}

// Offsets are accepted exactly when the read ones start at 0 or more and
// never decrease (std::is_sorted as the plain statement of it).
TEST(ArrowValidate, OffsetsAcceptedExactlyWhenOrdered) {
    std::mt19937_64 random(8536);
    for (int round = 0; round < 20000; ++round) {
        std::vector<int64_t> offsets(1 + random() % 8);
        for (int64_t& o : offsets) o = static_cast<int64_t>(random() % 7) - 1;
        if (random() % 2) std::sort(offsets.begin(), offsets.end());
        std::vector<char> data(16, 'x');
        const void* buffers[3] = {nullptr, offsets.data(), data.data()};
        ArrowSchema schema{};
        schema.format = "U";
        schema.release = release_schema;
        ArrowArray array{};
        array.offset = static_cast<int64_t>(random() % offsets.size());
        array.length = static_cast<int64_t>(offsets.size()) - 1 - array.offset;
        array.n_buffers = 3;
        array.buffers = buffers;
        array.release = release_array;
        auto const first = offsets.begin() + array.offset;
        bool const ordered = array.length == 0 || (*first >= 0 && std::is_sorted(first, offsets.end()));
        EXPECT_EQ(validate_array(schema, array) == ArrowFault::None, ordered) << round;
    }
}

// string_view rows: inline up to 12 bytes, else (buffer, offset) into the
// declared variadic buffers, whose sizes bound every view.
TEST(ArrowValidate, ViewsStayInsideTheirBuffers) {
    struct Case {
        int32_t length, buffer, offset;
        bool valid;
    };
    Case const cases[] = {
        {12, 0, 0, true}, {13, 0, 0, true}, {20, 0, 12, true}, {20, 0, 13, false}, {20, 1, 0, true},
        {20, 2, 0, false}, {20, -1, 0, false}, {20, 0, -1, false}, {-1, 0, 0, false}, {33, 0, 0, false},
    };
    std::string const first(32, 'a'), second(20, 'b');
    int64_t const sizes[] = {32, 20};
    for (Case const& c : cases) {
        uint8_t view[16] = {};
        std::memcpy(view, &c.length, 4);
        std::memcpy(view + 8, &c.buffer, 4);
        std::memcpy(view + 12, &c.offset, 4);
        const void* buffers[5] = {nullptr, view, first.data(), second.data(), sizes};
        ArrowSchema schema{};
        schema.format = "vu";
        schema.release = release_schema;
        ArrowArray array{};
        array.length = 1;
        array.n_buffers = 5;
        array.buffers = buffers;
        array.release = release_array;
        ArrowFault const expected = c.valid ? ArrowFault::None : ArrowFault::BadView;
        EXPECT_EQ(validate_array(schema, array), expected) << c.length << " " << c.buffer << " " << c.offset;
        buffers[4] = nullptr;  // sizes missing
        EXPECT_EQ(validate_array(schema, array), ArrowFault::MissingBuffers);
    }
}
