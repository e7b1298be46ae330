#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "cli/delimited.hpp"
#include "cli/option_table.hpp"
#include "cli/options.hpp"
#include "cli/record_splitter.hpp"
#include "cli/safe_text.hpp"
#include "cli/table.hpp"
#include "cli/utf8.hpp"
#include "cli/window_text.hpp"

namespace epochsift::cli {
namespace {

// UTF-8 by its bit layout: a lead byte marking the length, then six bits a byte.
std::string encode_utf8(char32_t c) {
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    int const tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    std::string out(1, static_cast<char>((0xFF00 >> (tail + 1) & 0xFF) | c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | (c >> (6 * i) & 0x3F));
    return out;
}

TEST(Utf8, EveryScalarValueIsValid) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        ASSERT_TRUE(is_valid_utf8(encode_utf8(c))) << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(Utf8, Rejections) {
    const char* const cases[] = {
        "\x80",              // continuation byte with no lead
        "\xC0\x80",          // overlong NUL
        "\xE0\x80\x80",      // overlong three-byte form
        "\xED\xA0\x80",      // surrogate U+D800
        "\xF0\x80\x80\x80",  // overlong four-byte form
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xE2\x80",          // cut short
        "abcdefgh\xFF",      // bad byte after the eight-byte ASCII step
        "\xC3\x28",          // lead followed by ASCII
    };
    for (const char* text : cases) EXPECT_FALSE(is_valid_utf8(text)) << text;
    for (int lead = 0xF5; lead <= 0xFF; ++lead) {  // no lead byte above F4 (RFC 3629)
        EXPECT_FALSE(is_valid_utf8(std::string(1, static_cast<char>(lead)) + "\x80\x80\x80")) << lead;
    }
    EXPECT_TRUE(is_valid_utf8(""));
    EXPECT_TRUE(is_valid_utf8("0123456789abcdef — µs §"));
}

TEST(Utf8, WidthsAndPrefixes) {
    EXPECT_EQ(display_width("µs — §"), 6u);
    EXPECT_EQ(display_width("日本"), 4u);
    EXPECT_EQ(display_width("e\u0301"), 1u);  // e and a combining acute
    EXPECT_EQ(prefix_of_width("ab—cd", 3), "ab—");
    EXPECT_EQ(prefix_of_width("日本語", 3), "日");  // a wide character never straddles the limit
    EXPECT_EQ(prefix_of_width("ae\u0301b", 2), "ae\u0301");  // the mark stays with its letter
    EXPECT_EQ(prefix_of_width("abc", 10), "abc");
}

TEST(Delimited, FieldOf) {
    struct Case {
        const char* line;
        std::size_t column;
        const char* delimiter;
        const char* field;  // nullptr: no such column
    };
    const Case cases[] = {
        {"a,b,c", 2, ",", "b"},
        {"a,b,c", 4, ",", nullptr},
        {"", 1, ",", ""},
        {"a,", 2, ",", ""},
        {"x,\"2024-05-01, noon\",y", 2, ",", "2024-05-01, noon"},
        {"\"say \"\"hi\"\"\",z", 1, ",", "say \"hi\""},
        {"\"open,to the end", 1, ",", "open,to the end"},
        {"\"a\"b,c", 1, ",", "ab"},      // text after the closing mark is kept
        {"1¦2¦3", 2, "¦", "2"},          // a delimiter of two bytes
    };
    for (const Case& c : cases) {
        std::string scratch;
        EXPECT_EQ(field_of(c.line, c.column, c.delimiter, scratch),
                  c.field ? std::optional<std::string_view>(c.field) : std::nullopt)
            << c.line << " #" << c.column;
    }
}

// A reading of the format with this id at Unix seconds, or past the
// calendar when there are none. The flags and shared ranks of real
// readings: check_block in test_cli.py.
Candidate reading(std::string_view id, std::optional<int64_t> seconds, double score) {
    Candidate c;
    c.format = *find_format(id);
    c.instant = seconds ? PosixNs::from_seconds(*seconds) : PosixNs{i128{1} << 100};
    c.score = score;
    return c;
}

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        std::size_t const end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

TEST(Table, ColumnsLineUpAndLongLabelsAreCut) {
    std::vector<Candidate> readings;
    readings.push_back(reading("unix_us", 1'700'000'000, 1.0));  // "Unix time (microseconds)"
    readings.push_back(reading("gps", std::nullopt, 0.777));        // "GPS time (s since 1980-01-06, leap ...)"
    readings.back().facts.sentinel = true;
    std::string out;
    append_table(out, "42", readings, TableStyle{.label_width = 20});
    std::vector<std::string> const lines = lines_of(out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "42: 2 readings");
    EXPECT_EQ(lines[1], "rank  score  label                 rendered              flags");
    EXPECT_EQ(lines[2], "   1   1.00  Unix time (microsec…  2023-11-14T22:13:20Z");
    // Cut at the end of a word when one ends in the last third of the width.
    EXPECT_EQ(lines[3], "   2   0.78  GPS time (s since…    (outside calendar)    sentinel");
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

TEST(Table, TopTenUnlessAllAndNotesUnderTheLabel) {
    std::vector<Candidate> readings;
    // The iso8601 form's label and note, as the README shows them.
    for (int i = 0; i < 12; ++i) readings.push_back(reading("iso8601", 0, 1.0 - i / 100.0));
    readings[0].notes = {Note::LeapSmear, Note::Form};

    std::string top;
    append_table(top, "v", readings, TableStyle{});
    EXPECT_EQ(lines_of(top).size(), 12u);  // title, header, ten rows
    EXPECT_EQ(lines_of(top)[0], "v: 12 readings, best 10 shown (--all for every reading)");

    std::string all;
    append_table(all, "v", readings, TableStyle{.all = true, .notes = true});
    std::vector<std::string> const lines = lines_of(all);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[2], "   1   1.00  ISO 8601 / RFC 3339 string  1970-01-01T00:00:00Z");
    EXPECT_EQ(lines[3], "             - indistinguishable from a leap-smeared source without clock-policy metadata");
    EXPECT_EQ(lines[4], "             - parsed as an ISO 8601 / RFC 3339 string (offset normalised to UTC)");
    EXPECT_EQ(lines[15], "  12   0.89  ISO 8601 / RFC 3339 string  1970-01-01T00:00:00Z");
}

TEST(Table, ValuesThatNeedQuoting) {
    EXPECT_EQ(shown_value("1700000000"), "1700000000");
    EXPECT_EQ(shown_value(""), "\"\"");
    EXPECT_EQ(shown_value(" 42"), "\" 42\"");
    EXPECT_EQ(shown_value("a\tb"), "\"a\\tb\"");
    // Characters a terminal would act on rather than show, written as JSON escapes.
    EXPECT_EQ(shown_value("\u202e0000000071"), "\"\\u202e0000000071\"");  // right-to-left override
    EXPECT_EQ(shown_value("1\u20662"), "\"1\\u20662\"");                  // isolate
    EXPECT_EQ(shown_value("1\xC2\x9B" "31m"), "\"1\\u009b31m\"");         // C1 control sequence introducer
    EXPECT_EQ(shown_value("1\x7F"), "\"1\\u007f\"");
    EXPECT_EQ(shown_value("say \"\u202e\""), "\"say \\\"\\u202e\\\"\"");
    EXPECT_EQ(shown_value("µs — §"), "µs — §");                              // printable text stays as typed
    std::string out;
    append_table(out, "", {}, TableStyle{});
    EXPECT_EQ(out, "\"\": no readings\n");
}

TEST(SafeText, OneLineWithNothingHidden) {
    struct Case {
        std::string_view text, shown;
    };
    const Case cases[] = {
        {"1\n2", "1\\n2"},
        {"\x1b[31m", "\\u001b[31m"},
        {"a\xFF" "b", "a\\xffb"},                   // not UTF-8
        {"\xE2\x80\xA8", "\\u2028"},             // line separator
        {"\xD8\x9C", "\\u061c"},                  // Arabic letter mark
        {"C:\\dir \"x\"", "C:\\dir \"x\""},    // unquoted: backslash and quote as they are
    };
    for (const Case& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.shown;
}

// The parsed values point into the arguments, as into argv; keep them all.
ParsedOptions parse(const std::vector<std::string>& args) {
    static std::deque<std::string> kept;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(kept.emplace_back(arg).data());
    return parse_options(argv);
}

TEST(Options, Accepted) {
    ParsedOptions p = parse({"-1", "--all", "--notes", "1700000000", "-1.5e9", "-inf"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.mode, Mode::Table);
    EXPECT_EQ(p.options.values, (std::vector<std::string_view>{"-1", "1700000000", "-1.5e9", "-inf"}));

    p = parse({"--batch", "--best=3", "--column", "2", "--delimiter", "tab", "--threads=4", "in.tsv"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.mode, Mode::Batch);
    EXPECT_EQ(p.options.best, 3u);
    EXPECT_EQ(p.options.column, 2u);
    EXPECT_EQ(p.options.delimiter, "\t");
    EXPECT_EQ(p.options.threads, 4u);
    EXPECT_EQ(p.options.values, (std::vector<std::string_view>{"in.tsv"}));

    p = parse({"--batch", "--delimiter", ";"});  // a delimiter alone reads the first field
    EXPECT_EQ(p.options.column, 1u);
    EXPECT_EQ(parse({"--json", "--", "--all"}).options.values, (std::vector<std::string_view>{"--all"}));
    EXPECT_EQ(parse({"--json", "x"}).options.mode, Mode::Json);
    EXPECT_EQ(parse({"x", "-h"}).options.mode, Mode::Help);
    EXPECT_TRUE(parse({}).options.values_from_stdin);  // no VALUE: one a line of standard input
    EXPECT_EQ(parse({"--version"}).options.mode, Mode::Version);
    p = parse({"--batch", "--column", "2,seen,10", "--header", "yes", "--tz", "UTC", "--quiet"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.options.columns.size(), 3u);
    EXPECT_EQ(p.options.columns[0].number, 2u);
    EXPECT_EQ(p.options.columns[1].name, "seen");
    EXPECT_EQ(p.options.columns[2].number, 10u);
    EXPECT_EQ(p.options.header, HeaderMode::Yes);
    // Where the options reach the reading, the command line is run against the module (test_cli.py).
    for (const char* width : {"1", "16"}) EXPECT_EQ(parse({"--width", width, "1"}).error, "") << width;
    EXPECT_EQ(parse({"--window", "-5ns..5ns", "1"}).error, "");  // a negative side is the window's, not an option
}

TEST(Window, Sides) {
    // 2000-01-01T00:00:00Z is 946684800 s after 1970 (the Unix time of that date).
    constexpr i128 Y2K = i128{946'684'800} * 1'000'000'000;
    constexpr i128 DAY = i128{86'400} * 1'000'000'000;
    struct Case {
        const char* text;
        std::optional<std::pair<i128, i128>> window;
    };
    const Case cases[] = {
        {"2000-01-01T00:00:00Z..2000-01-01T01:00:00+01:00", std::nullopt},    // the same instant twice: empty
        {"2000-01-01T00:00:00Z..2000-01-01T00:00:00.5Z", std::pair{Y2K, Y2K + 500'000'000}},
        {"1999-12-31T23:00:00-01:00..946684800000000001ns", std::pair{Y2K, Y2K + 1}},
        {"-1ns..0ns", std::pair{i128{-1}, i128{0}}},
        {"946684800s..946684800001ms", std::pair{Y2K, Y2K + 1'000'000}},
        {"946684800000000us..2000-01-01T00:00:01Z", std::pair{Y2K, Y2K + 1'000'000'000}},
        // A year, month or day covers all of it, alone or at either end (days from 2000-01-01: 366 in 2000).
        {"2000", std::pair{Y2K, Y2K + 366 * DAY}},
        {"2000-02", std::pair{Y2K + 31 * DAY, Y2K + 60 * DAY}},        // a leap February
        {"2000-01-01", std::pair{Y2K, Y2K + DAY}},
        {"2000..2001", std::pair{Y2K, Y2K + (366 + 365) * DAY}},
        {"2000-01-01..2000-01-31", std::pair{Y2K, Y2K + 31 * DAY}},
        {"1999-12-31T00:00:00Z..2000", std::pair{Y2K - DAY, Y2K + 366 * DAY}},
        {"0..1", std::nullopt},                                // integers need a unit
        {"0ns..-1ns", std::nullopt},                           // end before start
        {"2001..2000", std::nullopt},
        {"2000-13", std::nullopt},                             // no 13th month
        {"2000-02-30", std::nullopt},
        {"200", std::nullopt},                                 // a year is four digits
        {"1700000000", std::nullopt},                          // a bare integer names no unit
        {"5h..6h", std::nullopt},                              // hours are no unit here
        {"2000-01-01T00:00:00..2001-01-01T00:00:00Z", std::nullopt},  // no offset
        {"0ns...1ns", std::nullopt},                           // a stray point
        {"0ns..", std::nullopt},                               // no end
        {"..0ns", std::nullopt},                               // no start
        {"0ns", std::nullopt},                                 // one instant is no span
        {"0ns .. 1ns", std::nullopt},                          // spaces are not trimmed
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        auto const window = parse_window(c.text);
        ASSERT_EQ(window.has_value(), c.window.has_value()) << c.text;
        if (!window) continue;
        EXPECT_TRUE(window->start.ns == c.window->first && window->end.ns == c.window->second) << c.text;
    }
}

TEST(Options, Refused) {
    std::vector<std::vector<std::string>> const cases = {
        {"--encode", "0", "--batch"},         // one instant, not a batch
        {"--batch", "--every", "--best", "1"},  // every reading or the best K
        {"--batch", "--best", "1", "--column", "1,2"},  // the CSV of readings reads one field
        {"--batch", "--infer", "--column", "seen"},     // names need batch rows' header
        {"--batch", "--best", "1", "--tz", "UTC"},      // zones reach batch rows only
        {"--batch", "--column", "1,,2"},      // an empty field reference
        {"--batch", "--column", "0"},         // fields count from 1
        {"--batch", "--header", "maybe"},
        {"--every", "1"},                     // batch options without --batch
        {"--column", "2", "1"},
        {"--completion", "tcsh"},
        {"--bogus", "1"},                     // unknown option
        {"--batch", "--threads"},             // missing value
        {"--batch", "--threads", "0"},        // no threads
        {"--batch", "--column", "-1"},        // not a column
        {"--batch", "--delimiter", ",,"},     // two characters
        {"--batch", "--all"},                 // table option in batch mode
        {"--batch", "--json", "--best", "1"}, // JSON and CSV at once
        {"--best", "1", "x"},                 // batch option without --batch
        {"--json", "--notes", "x"},           // table option with --json
        {"--all=yes", "x"},                   // a flag with a value
        {"--width", "0", "1"},                // no bytes
        {"--width", "17", "1"},               // wider than 128 bits
        {"--width", "4.5", "1"},              // not whole
        {"--endian", "middle", "1"},          // PDP order is not a choice
        {"--endian", "Little", "1"},          // the names are lower case
        {"--window", "24", "1"},              // not a year
        {"--window", "1..2", "1"},            // integers without a unit
        {"--window", "1s..1s", "1"},          // empty
        {"--infer", "1"},                     // column mode without --batch
        {"--by-column", "1"},
        {"--batch", "--infer", "--by-column"},  // verdicts or records, not both
        {"--batch", "--infer", "--best", "1"},
        {"--hex", "--reference", "ff"},       // bytes are always read extended
        {"--hex", "--width", "2", "ff"},      // the bytes give the width
        {"--encode", "0", "--hint", "x"},     // encoding reads nothing
        {"--encode", "0", "--reference"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const std::string& arg : args) joined += arg + ' ';
        EXPECT_NE(parse(args).error, "") << joined;
    }
}

}  // namespace
}  // namespace epochsift::cli

namespace epochsift::cli {
namespace {

// The parser knows every option the table lists (the help, man page and
// completions are written from the table), and takes an argument exactly
// for the rows that name one.
TEST(OptionTable, EveryRowParses) {
    for (const OptionRow& row : OPTIONS) {
        std::string const name(row.name);
        std::vector<std::string> args{name};
        if (row.kind != OptionKind::Flag) {
            std::string_view const choices = row.choices;
            args.emplace_back(choices.empty() ? std::string("4") : std::string(choices.substr(0, choices.find(' '))));
        }
        ParsedOptions const parsed = parse(args);
        EXPECT_FALSE(parsed.error.starts_with("unknown option")) << name;
        EXPECT_FALSE(parsed.error.ends_with("takes no value")) << name;
        EXPECT_FALSE(parsed.error.ends_with("needs a value")) << name;
        if (row.kind == OptionKind::Flag) {
            EXPECT_TRUE(parse({name + "=1"}).error.ends_with("takes no value")) << name;
        } else {
            EXPECT_TRUE(parse({name}).error.ends_with("needs a value")) << name;
        }
    }
}

}  // namespace
}  // namespace epochsift::cli
