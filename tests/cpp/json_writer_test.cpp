#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "output/reading_json.hpp"

namespace epochsift {
namespace {

std::string double_text(double x) {
    std::string out;
    append_json_double(out, x);
    return out;
}

TEST(JsonDouble, FloatRule) {
    struct Case {
        double value;
        const char* text;
    };
    // The rule's edges; digit choice in general is the random test's.
    const Case cases[] = {
        {1.0, "1.0"},          {0.0, "0.0"},    {-0.0, "-0.0"},
        {0.00001, "0.00001"},  {0.000001, "1e-6"},  {1.5e-7, "1.5e-7"},
        {9999999999999998.0, "9999999999999998.0"}, {1e16, "1e+16"},
        {1.0 - 2.0 / 3.0, "0.33333333333333337"},  {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
    };
    for (const Case& c : cases) EXPECT_EQ(double_text(c.value), c.text) << c.text;
    EXPECT_EQ(double_text(std::nan("")), "null");
    EXPECT_EQ(double_text(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(double_text(-std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonDouble, RandomValuesReadBackExactlyWithShortestDigits) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200000; ++i) {
        double const x = std::bit_cast<double>(rng());
        if (!std::isfinite(x)) continue;
        std::string const text = double_text(x);
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), x) << text;
        // Same significant digits as the shortest round-trip form.
        char shortest[32];
        auto const r = std::to_chars(shortest, shortest + 32, x, std::chars_format::scientific);
        std::string digits;
        for (char* p = shortest; p < r.ptr && *p != 'e'; ++p) {
            if (*p >= '0' && *p <= '9') digits += *p;
        }
        std::string ours;
        std::size_t const e = text.find('e');
        for (char c : text.substr(0, e)) {
            if (c >= '0' && c <= '9') ours += c;
        }
        ours.erase(0, ours.find_first_not_of('0'));
        while (!ours.empty() && ours.back() == '0' && ours.size() > digits.size()) ours.pop_back();
        ASSERT_EQ(ours, digits) << text;
        ASSERT_NE(text.find_first_of(".e"), std::string::npos) << text;  // never a bare integer
    }
}

TEST(JsonCandidate, MembersInOrder) {
    // Texts of the unix row and the iso8601 form, as the README shows them.
    Candidate c;
    c.format = *find_format("unix");
    c.instant = PosixNs{i128{1} << 100};  // past the calendar: no rendered text
    c.score = 1.0;
    std::string out;
    append_json_candidates(out, std::span<const Candidate>(&c, 1));
    EXPECT_EQ(out,
              "[{\"format_id\":\"unix\",\"label\":\"Unix time (seconds)\",\"citation\":\"POSIX.1-2017 §4.16\","
              "\"instant\":1267650600228229401496703205376,"
              "\"rendered\":null,"
              "\"score\":1.0,\"components\":[],\"assumptions\":[],\"sentinel\":false}]");
    c.instant = PosixNs{-1};
    c.components = {{Component::InWindow, std::nan("")}, {Component::Prevalence, 0.0}};
    c.format = *find_format("iso8601");
    c.notes = {Note::Form, Note::Sentinel};
    c.facts.sentinel = c.facts.zone_unstated = true;
    out.clear();
    append_json_candidate(out, c);
    EXPECT_EQ(out,
              "{\"format_id\":\"iso8601\",\"label\":\"ISO 8601 / RFC 3339 string\",\"citation\":\"ISO 8601:2019 / RFC 3339\","
              "\"instant\":-1,"
              "\"rendered\":\"1969-12-31T23:59:59.999999999Z\","
              "\"score\":1.0,\"components\":[[\"in_window\",null],[\"prevalence\",0.0]],\"assumptions\":["
              "\"value 0 is a likely sentinel (possible sentinel: zero / unset) — an 'unset'/'never' marker, not "
              "necessarily a real instant\",\"parsed as an ISO 8601 / RFC 3339 string (offset normalised to UTC); NO timezone designator — assumed UTC, but may be local time\"],"
              "\"sentinel\":true}");
    out.clear();
    append_json_candidates(out, {});
    EXPECT_EQ(out, "[]");
}

}  // namespace
}  // namespace epochsift
