// The C interface's boundary: every pointer and size checked, every fault a
// status with a message, answers in buffers the caller frees.
#include "wasm/epochsift.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace {

struct Answer {
    int status = -1;
    std::string text;
};

template <class Call>
Answer answer(Call&& call) {
    char* out = reinterpret_cast<char*>(1);  // must be overwritten
    size_t size = 12345;
    Answer a;
    a.status = call(&out, &size);
    if (out != nullptr) a.text.assign(out, size);
    epochsift_free(out);
    return a;
}

Answer identify(std::string_view value, std::string_view options) {
    return answer([&](char** out, size_t* size) {
        return epochsift_identify(value.data(), value.size(), options.data(), options.size(), out, size);
    });
}

std::string error_of(const Answer& a) { return nlohmann::json::parse(a.text).at("error").get<std::string>(); }

TEST(CInterface, NullPointersAreRefusedUnlessEmpty) {
    char* out = nullptr;
    size_t size = 0;
    EXPECT_EQ(epochsift_identify("1", 1, nullptr, 0, nullptr, &size), EPOCHSIFT_BAD_ARGUMENT);
    EXPECT_EQ(epochsift_identify("1", 1, nullptr, 0, &out, nullptr), EPOCHSIFT_BAD_ARGUMENT);
    Answer const bad_value = answer([](char** o, size_t* s) { return epochsift_identify(nullptr, 3, nullptr, 0, o, s); });
    EXPECT_EQ(bad_value.status, EPOCHSIFT_BAD_ARGUMENT);
    Answer const bad_options = answer([](char** o, size_t* s) { return epochsift_identify("1", 1, nullptr, 2, o, s); });
    EXPECT_EQ(bad_options.status, EPOCHSIFT_BAD_ARGUMENT);
    // An empty value is a value: nothing reads it.
    Answer const empty = answer([](char** o, size_t* s) { return epochsift_identify(nullptr, 0, nullptr, 0, o, s); });
    EXPECT_EQ(empty.status, EPOCHSIFT_OK);
    EXPECT_EQ(empty.text, "[]");
    EXPECT_EQ(epochsift_alloc(0), nullptr);
    epochsift_free(nullptr);
}

TEST(CInterface, OptionsAreOneObjectOfKnownKeys) {
    struct Case {
        std::string_view options;
        int status;
        std::string_view why;
    };
    Case const cases[] = {
        {"", EPOCHSIFT_OK, "no options"},
        {"  {} ", EPOCHSIFT_OK, "an empty object"},
        {R"({"extended":true,"hint":null})", EPOCHSIFT_OK, "null leaves an option absent"},
        {"{", EPOCHSIFT_BAD_OPTIONS, "malformed JSON"},
        {"[]", EPOCHSIFT_BAD_OPTIONS, "not an object"},
        {R"({"extended":1})", EPOCHSIFT_BAD_OPTIONS, "a number for a bool"},
        {R"({"byte_width":0})", EPOCHSIFT_BAD_OPTIONS, "below 1"},
        {R"({"byte_width":16})", EPOCHSIFT_OK, "the widest field"},
        {R"({"best":-1})", EPOCHSIFT_BAD_OPTIONS, "a negative count"},
        {R"({"neighbours":[1,"2"]})", EPOCHSIFT_BAD_OPTIONS, "a text among integers"},
        {R"({"window":[0,0]})", EPOCHSIFT_BAD_OPTIONS, "an empty window"},
        {R"({"window":[-1,0]})", EPOCHSIFT_OK, "one nanosecond"},
        {R"({"families":["unix"]})", EPOCHSIFT_BAD_OPTIONS, "identify takes no families"},
    };
    for (Case const& c : cases) {
        Answer const a = identify("1700000000", c.options);
        EXPECT_EQ(a.status, c.status) << c.why << ": " << a.text;
        if (c.status != EPOCHSIFT_OK) {
            EXPECT_FALSE(error_of(a).empty()) << c.why;
        }
    }
}

TEST(CInterface, BestCutsTheList) {
    auto const all = nlohmann::json::parse(identify("1700000000", "").text);
    auto const two = nlohmann::json::parse(identify("1700000000", R"({"best":2})").text);
    ASSERT_GT(all.size(), 2u);
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], all[0]);
    EXPECT_EQ(nlohmann::json::parse(identify("1700000000", R"({"best":100000})").text), all);
}

TEST(CInterface, BytesAreOneToSixteen) {
    uint8_t bytes[17] = {0x68, 0x17, 0x85, 0x5a};
    for (size_t size : {size_t{0}, size_t{17}}) {
        Answer const a = answer([&](char** o, size_t* s) { return epochsift_identify_bytes(bytes, size, nullptr, 0, o, s); });
        EXPECT_EQ(a.status, EPOCHSIFT_BAD_ARGUMENT) << size;
    }
    Answer const four = answer([&](char** o, size_t* s) { return epochsift_identify_bytes(bytes, 4, nullptr, 0, o, s); });
    EXPECT_EQ(four.status, EPOCHSIFT_OK);
    // 0x6817855a is 1746371930: 2025-05-04T15:18:50Z read big-endian as Unix seconds.
    EXPECT_NE(four.text.find("\"2025-05-04T15:18:50Z\""), std::string::npos) << four.text;
}

TEST(CInterface, LinesSplitAtNewlines) {
    struct Case {
        std::string_view text;
        size_t lines;
    };
    Case const cases[] = {{"", 0}, {"1", 1}, {"1\n", 1}, {"1\r\n2", 2}, {"\n\n", 2}, {"a\nb\nc\n", 3}};
    for (Case const& c : cases) {
        Answer const a = answer([&](char** o, size_t* s) {
            return epochsift_identify_lines(c.text.data(), c.text.size(), nullptr, 0, o, s);
        });
        ASSERT_EQ(a.status, EPOCHSIFT_OK);
        EXPECT_EQ(nlohmann::json::parse(a.text).size(), c.lines) << c.text;
    }
}

TEST(CInterface, ColumnIdsAreLookedUpNotTrusted) {
    EXPECT_EQ(epochsift_column_add(0, "1", 1), EPOCHSIFT_BAD_ARGUMENT);
    EXPECT_EQ(epochsift_column_add(99, "1", 1), EPOCHSIFT_BAD_ARGUMENT);
    EXPECT_EQ(epochsift_column_close(99), EPOCHSIFT_BAD_ARGUMENT);
    uint32_t id = 0;
    Answer const opened = answer([&](char** o, size_t* s) { return epochsift_column_open(nullptr, 0, &id, o, s); });
    ASSERT_EQ(opened.status, EPOCHSIFT_OK);
    ASSERT_NE(id, 0u);
    std::string_view const lines = "879858441\n1033337335\n";
    EXPECT_EQ(epochsift_column_add(id, lines.data(), lines.size()), EPOCHSIFT_OK);
    EXPECT_EQ(epochsift_column_add(id, nullptr, 3), EPOCHSIFT_BAD_ARGUMENT);
    Answer const verdicts = answer([&](char** o, size_t* s) { return epochsift_column_verdicts(id, o, s); });
    EXPECT_EQ(verdicts.status, EPOCHSIFT_OK);
    EXPECT_EQ(epochsift_column_close(id), EPOCHSIFT_OK);
    EXPECT_EQ(epochsift_column_close(id), EPOCHSIFT_BAD_ARGUMENT) << "closed twice";
    Answer const gone = answer([&](char** o, size_t* s) { return epochsift_column_verdicts(id, o, s); });
    EXPECT_EQ(gone.status, EPOCHSIFT_BAD_ARGUMENT);
    uint32_t reused = 0;
    answer([&](char** o, size_t* s) { return epochsift_column_open(nullptr, 0, &reused, o, s); });
    EXPECT_EQ(reused, id) << "a closed slot is used again";
    EXPECT_EQ(epochsift_column_close(reused), EPOCHSIFT_OK);
}

TEST(CInterface, EncodeTakesAnInstant) {
    std::string_view const when = "1700000000000000000";
    Answer const a = answer([&](char** o, size_t* s) {
        std::string_view const options = R"({"families":["unix"]})";
        return epochsift_encode(when.data(), when.size(), options.data(), options.size(), o, s);
    });
    ASSERT_EQ(a.status, EPOCHSIFT_OK) << a.text;
    auto const encoded = nlohmann::json::parse(a.text);
    ASSERT_EQ(encoded.size(), 1u);
    EXPECT_EQ(encoded[0].at("value"), "1700000000");  // date -d @1700000000 -u: 2023-11-14T22:13:20Z
    std::string_view const bad = "someday";
    Answer const refused = answer([&](char** o, size_t* s) { return epochsift_encode(bad.data(), bad.size(), nullptr, 0, o, s); });
    EXPECT_EQ(refused.status, EPOCHSIFT_BAD_INSTANT);
}

}  // namespace
