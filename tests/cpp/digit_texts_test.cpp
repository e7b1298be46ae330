// Each string form declares which texts of digits alone (or a '-' and
// digits) it can read, so that an integer's text skips the forms that read
// none of its length. The declaration must never exclude a text the parser
// reads: every form is tried on digit texts of every length an int64 can
// write, random and shaped like the dates and alphabets the parsers look
// for, and the readings the engine makes equal those of every form tried in
// turn.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/column.hpp"
#include "engine/interpret_extended.hpp"
#include "engine/interpret_string.hpp"
#include "engine/read_options.hpp"
#include "formats/catalog.hpp"
#include "formats/extended_string_forms.hpp"
#include "formats/hex_bytes.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/string_forms.hpp"
#include "formats/two_part.hpp"

namespace epochsift {
namespace {


// n digits whose leading fields look like a date: a year of 2 or 4 digits,
// month, day (or a day of the year), hour, minute, second, then any digits.
std::string dated_digits(std::mt19937_64& rng, std::size_t n) {
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    char buffer[64];
    switch (pick(0, 2)) {
        case 0:
            std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d%09d", pick(1600, 2300), pick(1, 12),
                          pick(1, 28), pick(0, 23), pick(0, 59), pick(0, 59), pick(0, 999'999'999));
            break;
        case 1:
            std::snprintf(buffer, sizeof buffer, "%02d%02d%02d%02d%02d%02d%09d%02d", pick(0, 99), pick(1, 12),
                          pick(1, 28), pick(0, 23), pick(0, 59), pick(0, 59), pick(0, 999'999'999), pick(0, 99));
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%04d%03d%02d%02d%02d%09d%02d", pick(1600, 2300), pick(1, 365),
                          pick(0, 23), pick(0, 59), pick(0, 59), pick(0, 999'999'999), pick(0, 99));
            break;
    }
    return std::string(buffer).substr(0, n);
}

// n digits drawn from alphabet (the octal digits, base32's 2-7, ...).
std::string drawn_digits(std::mt19937_64& rng, std::size_t n, std::string_view alphabet) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += alphabet[rng() % alphabet.size()];
    return text;
}

// Digit texts of n digits: edges, then random ones of each kind.
std::vector<std::string> digit_texts(std::mt19937_64& rng, std::size_t n, std::size_t random_count) {
    std::vector<std::string> texts = {std::string(n, '0'), std::string(n, '9'), "1" + std::string(n - 1, '0'),
                                      std::string(n, '7'), std::string(n, '2')};
    if (n >= 2) texts.push_back(std::string(n - 1, '9') + "8");
    for (std::size_t i = 0; i < random_count; ++i) {
        switch (i % 5) {
            case 0: texts.push_back(dated_digits(rng, n)); break;
            case 1: texts.push_back(drawn_digits(rng, n, "0123456789")); break;
            case 2: texts.push_back(drawn_digits(rng, n, "01234567")); break;
            case 3: texts.push_back(drawn_digits(rng, n, "234567")); break;
            default: texts.push_back(drawn_digits(rng, n, "01")); break;
        }
    }
    return texts;
}

struct NamedTable {
    const char* name;
    std::span<const StringForm> forms;
};

const NamedTable TABLES[] = {{"string", STRING_FORMS}, {"extended", EXTENDED_STRING_FORMS}};

TEST(DigitTexts, ShapeOfATextOfDigits) {
    struct Case {
        std::string_view text;
        std::optional<std::size_t> digits;
        bool negative;
    };
    for (Case const& c : {Case{"0", 1, false}, Case{"1700000000", 10, false}, Case{"-12", 2, true},
                          Case{"00000000000000000000001", 23, false}, Case{"", std::nullopt, false},
                          Case{"-", std::nullopt, false}, Case{"+12", std::nullopt, false},  // only '-' is a sign
                          Case{"12a", std::nullopt, false}, Case{"1-2", std::nullopt, false},
                          Case{"--1", std::nullopt, false}, Case{" 12", std::nullopt, false},
                          Case{"1.5", std::nullopt, false}}) {
        std::optional<DigitText> const shape = digit_text_of(c.text);
        EXPECT_EQ(shape.has_value(), c.digits.has_value()) << c.text;
        if (!shape || !c.digits) continue;
        EXPECT_EQ(shape->digits, *c.digits) << c.text;
        EXPECT_EQ(shape->negative, c.negative) << c.text;
    }
}

TEST(DigitTexts, MaskAdmitsItsLengthsAndEveryOtherShape) {
    DigitTexts const ten{digit_counts(10, 10), 0};
    EXPECT_TRUE(may_read(ten, DigitText{10, false}));
    EXPECT_FALSE(may_read(ten, DigitText{9, false}));
    EXPECT_FALSE(may_read(ten, DigitText{11, false}));
    EXPECT_FALSE(may_read(ten, DigitText{10, true}));  // the sign has a mask of its own
    EXPECT_TRUE(may_read(ten, std::nullopt));          // not digits alone: every parser tries it
    EXPECT_TRUE(may_read(NO_DIGIT_TEXT, DigitText{MOST_STATED_DIGITS + 1, false}));  // past the masks: tried
    EXPECT_FALSE(may_read(NO_DIGIT_TEXT, DigitText{MOST_STATED_DIGITS, true}));
    EXPECT_TRUE(may_read(DigitTexts{}, DigitText{5, true}));     // an unstated mask reads all
}

// No form reads a digit text of a length its row excludes.
TEST(DigitTexts, NoFormReadsALengthItsRowExcludes) {
    std::mt19937_64 rng(20261208);
    for (std::size_t n = 1; n <= MOST_STATED_DIGITS; ++n) {
        std::vector<std::string> const plain = digit_texts(rng, n, 4000);
        for (NamedTable const& table : TABLES) {
            for (StringForm const& form : table.forms) {
                for (bool const negative : {false, true}) {
                    if (may_read(form.digits, DigitText{n, negative})) continue;
                    for (std::string const& digits : plain) {
                        std::string const text = negative ? "-" + digits : digits;
                        FormMemo memo;
                        EXPECT_FALSE(read_form(form, text, memo).has_value())
                            << table.name << " form " << form.id << " reads \"" << text << "\"";
                    }
                }
            }
        }
    }
}

// Nor is a digit text hex bytes or a pair of words, which the extended
// reading no longer looks for in one.
TEST(DigitTexts, NoDigitTextIsBytesOrAWordPair) {
    std::mt19937_64 rng(20261209);
    for (std::size_t n = 1; n <= 40; ++n) {
        for (std::string const& digits : digit_texts(rng, n, 200)) {
            for (std::string const& text : {digits, "-" + digits}) {
                EXPECT_FALSE(parse_hex_bytes(text).has_value()) << text;
                EXPECT_FALSE(parse_hex_word_pair(text).has_value()) << text;
                EXPECT_FALSE(parse_decimal_word_pair(text).has_value()) << text;
            }
        }
    }
}

// The engine's readings of integers' texts are those of every form tried.
TEST(DigitTexts, ReadingsOfIntegersEqualEveryFormTried) {
    std::mt19937_64 rng(7);
    std::vector<std::string> texts;
    for (std::size_t n = 1; n <= MOST_STATED_DIGITS; ++n) {
        for (std::string const& digits : digit_texts(rng, n, 300)) {
            texts.push_back(digits);
            texts.push_back("-" + digits);
        }
    }
    for (int i = 0; i < 20000; ++i) {  // int64s of every magnitude, both signs
        auto const value = static_cast<int64_t>(rng() >> (rng() % 64));
        texts.push_back(std::to_string(i % 2 == 0 ? value : -value));
    }
    // Integers written with leading zeros, past the lengths masks state:
    // 24 digits are an ObjectId's, 26 a ULID's, 32 a UUID's.
    for (std::size_t n = MOST_STATED_DIGITS + 1; n <= 40; ++n) {
        for (std::string const& digits : digit_texts(rng, n, 300)) {
            std::string const padded = std::string(n / 2, '0') + digits.substr(n / 2);
            texts.push_back(padded);
            texts.push_back("-" + padded);
            texts.push_back(digits);
        }
    }
    ReadOptions options;
    options.extended = true;
    for (std::string const& text : texts) {
        std::vector<FormatRef> expected;
        std::vector<PosixNs> expected_instants;
        for (NamedTable const& table : TABLES) {
            FormMemo memo;
            for (StringForm const& form : table.forms) {
                if (auto const found = read_form(form, text, memo)) {
                    expected.push_back(FormatRef::of(form));
                    expected_instants.push_back(found->instant);
                }
            }
        }
        std::vector<Candidate> readings;
        append_string_readings(readings, text);
        append_extended_readings(readings, text, options);
        std::vector<FormatRef> got;
        std::vector<PosixNs> got_instants;
        for (Candidate const& reading : readings) {
            FormatKind const kind = reading.format.kind();
            if (kind != FormatKind::StringForm && kind != FormatKind::ExtendedForm) continue;
            got.push_back(reading.format);
            got_instants.push_back(reading.instant);
        }
        EXPECT_EQ(got, expected) << text;
        EXPECT_EQ(got_instants, expected_instants) << text;
    }
}

// A column's verdict visits a digit text's readers alone too: each form's
// tally reads a one-value column exactly when the form's parser reads it.
TEST(DigitTexts, ColumnTalliesReadEveryTextTheFormsRead) {
    std::mt19937_64 rng(27);
    ReadOptions extended;
    extended.extended = true;
    std::size_t const first_form = NUMERIC_FAMILIES.size();
    std::size_t read_somewhere = 0;
    for (std::size_t n = 1; n <= MOST_STATED_DIGITS + 2; ++n) {
        for (std::string const& digits : digit_texts(rng, n, 40)) {
            for (std::string const& text : {digits, "-" + digits}) {
                std::string_view const view = text;
                std::vector<ColumnTally> const tallies = column_tallies(std::span(&view, 1), extended);
                for (std::size_t s = 0; s < STRING_FORM_COUNT + EXTENDED_STRING_FORM_COUNT; ++s) {
                    StringForm const& form =
                        s < STRING_FORM_COUNT ? STRING_FORMS[s] : EXTENDED_STRING_FORMS[s - STRING_FORM_COUNT];
                    FormMemo memo;
                    bool const reads = read_form(form, text, memo).has_value();
                    read_somewhere += reads;
                    ASSERT_EQ(tallies[first_form + s].read, reads ? 1u : 0u) << form.id << " on " << text;
                }
            }
        }
    }
    EXPECT_GT(read_somewhere, 100u);  // the texts reach the forms that read digits
}

}  // namespace
}  // namespace epochsift
