// The JSON writer's fast paths against plain reference forms: the block-wise
// escape scan at every length and position, 64- and 128-bit integers, and
// repeated number texts.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "output/reading_json.hpp"
#include "output/reading_text.hpp"

namespace epochsift {
namespace {

std::string reference_json_string(std::string_view text) {
    static const std::map<char, std::string_view> NAMED = {{'"', "\\\""}, {'\\', "\\\\"}, {'\b', "\\b"}, {'\t', "\\t"},
                                                           {'\n', "\\n"}, {'\f', "\\f"},   {'\r', "\\r"}};
    std::string out = "\"";
    for (char const c : text) {
        if (auto const named = NAMED.find(c); named != NAMED.end()) {
            out += named->second;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string json_string(std::string_view text) {
    std::string out = "x";  // the writer appends after what is there
    append_json_string(out, text);
    return out.substr(1);
}

// Bytes next to the escaped ones in value: space, 0x7f, 0xff, non-ASCII.
constexpr std::string_view FILLERS = " a~\x7f\xc2\xa7\xff!#[]";
constexpr std::string_view ESCAPED = "\"\\\x01\x1f\n\t\x00";

TEST(JsonStringScan, EveryLengthAndPosition) {
    for (std::size_t n = 0; n <= 70; ++n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i) text += FILLERS[i % FILLERS.size()];
        ASSERT_EQ(json_string(text), reference_json_string(text)) << n;
        for (std::size_t pos = 0; pos < n; ++pos) {
            for (char escaped : std::string(ESCAPED.data(), ESCAPED.size())) {
                std::string one = text;
                one[pos] = escaped;
                ASSERT_EQ(json_string(one), reference_json_string(one)) << n << " at " << pos;
                std::string two = one;
                two[n - 1 - (n - 1 - pos) / 2] = '"';  // a second escape at or after the first
                ASSERT_EQ(json_string(two), reference_json_string(two)) << n << " at " << pos;
            }
        }
    }
}

TEST(JsonStringScan, RandomTexts) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20000; ++i) {
        std::string text(rng() % 200, ' ');
        for (char& c : text) c = static_cast<char>(rng() % 8 == 0 ? rng() % 0x24 : 0x20 + rng() % 0xe0);
        ASSERT_EQ(json_string(text), reference_json_string(text));
    }
}

TEST(JsonIntegerDigits, MatchesDigitByDigit) {
    auto reference = [](i128 v) {
        std::string s;
        u128 m = v < 0 ? u128(0) - static_cast<u128>(v) : static_cast<u128>(v);
        do {
            s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
            m /= 10;
        } while (m != 0);
        return v < 0 ? "-" + s : s;
    };
    std::mt19937_64 rng(3);
    for (int i = 0; i < 100000; ++i) {
        i128 v = static_cast<i128>((u128{rng()} << 64 | rng()) >> (rng() % 128));
        if (i % 5 == 0) {  // powers of ten and their neighbours, where chunks meet
            v = 1;
            for (int k = static_cast<int>(rng() % 39); k > 0; --k) v *= 10;
            v += static_cast<i128>(rng() % 3) - 1;
        }
        if (rng() & 1) v = -v;
        std::string out;
        append_json_integer(out, v);
        ASSERT_EQ(out, reference(v));
    }
}

// The texts of repeated values come from the writer's memory of recent ones;
// a list full of repeats and near-repeats must read back exactly.
TEST(JsonDoubleRecent, RepeatsAndNearRepeats) {
    std::mt19937_64 rng(5);
    std::vector<double> values;
    for (int i = 0; i < 64; ++i) values.push_back(std::uniform_real_distribution<double>(0, 1)(rng));
    std::vector<Candidate> readings(400);
    for (Candidate& c : readings) {
        while (c.components.size() < ComponentList::CAPACITY) {
            double const v = values[rng() % values.size()];
            c.components.push_back({Component::EpochDistance, rng() % 2 ? v : std::nextafter(v, 2.0)});
        }
    }
    std::string out;
    append_json_candidates(out, readings);
    std::size_t pos = 0;
    for (const Candidate& c : readings) {
        for (const ScoreComponent& component : c.components) {
            pos = out.find("[\"epoch_distance\",", pos) + 18;
            std::size_t const end = out.find(']', pos);
            double read = 0;
            std::from_chars(out.data() + pos, out.data() + end, read);
            ASSERT_EQ(read, component.value) << out.substr(pos, end - pos);
            std::string alone;
            append_json_double(alone, component.value);
            ASSERT_EQ(out.substr(pos, end - pos), alone);
            pos = end + 1;
        }
    }
}

// Components whose value is 1, 0, one half or an extended prior are written
// with their name in one block; every kind, at first and later places,
// beside near values and -0.0, must give the plain `["name",number]` text.
TEST(JsonComponentBlocks, EveryKindAndCommonValue) {
    double const values[] = {1.0, 0.0, -0.0, 0.5, std::nextafter(1.0, 0.0), std::nextafter(0.5, 1.0),
                             std::nextafter(0.0, 1.0), 0.25, 0.8, 0.6, 0.4, std::nextafter(0.6, 1.0),
                             std::nan(""), 2.0};
    std::mt19937_64 rng(3);
    std::vector<Candidate> readings(2000);
    for (Candidate& c : readings) {
        std::size_t const count = rng() % (ComponentList::CAPACITY + 1);
        while (c.components.size() < count) {
            c.components.push_back({static_cast<Component>(rng() % COMPONENT_COUNT), values[rng() % std::size(values)]});
        }
    }
    std::string out;
    append_json_candidates(out, readings);
    std::size_t pos = 0;
    for (const Candidate& c : readings) {
        std::string expected = "\"components\":[";
        for (std::size_t i = 0; i < c.components.size(); ++i) {
            if (i != 0) expected += ',';
            expected += "[\"" + std::string(component_name(c.components[i].kind)) + "\",";
            append_json_double(expected, c.components[i].value);
            expected += ']';
        }
        expected += "],\"assumptions\"";
        pos = out.find("\"components\":", pos);
        ASSERT_EQ(out.substr(pos, expected.size()), expected);
        pos += expected.size();
    }
}

}  // namespace
}  // namespace epochsift
