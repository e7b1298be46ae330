#include "engine/interpret_extended.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/ascii_scan.hpp"
#include "engine/extended_score.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "engine/score.hpp"
#include "formats/byte_layouts.hpp"
#include "formats/extended_string_forms.hpp"
#include "formats/hex_bytes.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/two_part.hpp"
#include "formats/wall_clock_text.hpp"

namespace epochsift {

namespace {

// The window binary records and extended forms are tested against: the
// caller's, else the numeric families' shared one.
InstantWindow window_of(const ReadOptions& options) {
    if (options.window) return *options.window;
    return InstantWindow{NUMERIC_FAMILIES[0].window_start, NUMERIC_FAMILIES[0].window_end};
}

// Readings of one raw integer made from the input's layout: each carries the
// layout and its note, and the layout's width enters the context. Its order
// enters only when the caller stated it: text gives none, both orders are
// read, and a family whose other order misses the window has shown nothing
// about which order the bytes were written in.
void append_laid_out(std::vector<Candidate>& out, int64_t raw, const InputLayout& layout, const ReadOptions& options,
                     bool order_stated) {
    ReadOptions laid = options;
    laid.context.byte_width = layout.width;
    if (order_stated && !layout.order_moot) laid.context.byte_order = layout.order;
    std::size_t const first = out.size();
    append_integer_readings(out, raw, laid);
    for (std::size_t i = first; i < out.size(); ++i) {
        out[i].layout = layout;
        out[i].notes.add(Note::InputLayout);
    }
}

// A string-form reading from the extended table: self-describing, score 1.0
// inside the window; outside it, flagged and scored below every in-window
// self-describing reading.
Candidate form_candidate(const StringForm& form, FormInstant found, const InstantWindow& window) {
    bool const inside = window.contains(found.instant);
    Candidate reading = string_candidate(form, found);
    reading.components = {{Component::Representable, 1.0},
                          {Component::SelfDescribing, 1.0},
                          {Component::InWindow, inside ? 1.0 : 0.0},
                          {Component::NotSentinel, 1.0}};
    reading.facts.outside_window = !inside;
    // A naive form says so in its own flag; the zone flag is for texts that
    // could have stated one.
    reading.facts.zone_unstated = found.zone_unstated && !form.naive;
    reading.score = overall_score(reading.components);
    return reading;
}

// A binary record's reading: scored by the window like a packed row, then
// with the extended prior (a rare record weighs like a Rare row) and era.
Candidate layout_candidate(const ByteLayout& layout, LayoutInstant found, const InstantWindow& window,
                           bool caller_window) {
    bool const inside = window.contains(found.instant);
    Candidate reading{
        .format = FormatRef::of(layout),
        .instant = found.instant,
        .score = 0.0,
        .components = {{Component::Representable, 1.0},
                       {Component::InWindow, inside ? 1.0 : 0.0},
                       {Component::Prevalence, prevalence_value(layout.rare ? Prevalence::Rare : Prevalence::Common)},
                       {Component::NotSentinel, 1.0},
                       {Component::ByteWidthMatch, 1.0}},
        .notes = {Note::ConsistentWith, Note::LeapSmear},
        .facts = {.sentinel = false,
                  .local = found.zone_unstated,
                  .rare = layout.rare,
                  .packed = true,
                  .outside_window = !inside,
                  .string_form = false,
                  .zone_unstated = false},
        .raw = 0,
    };
    if (found.zone_unstated) reading.notes.add(Note::WallClockLocal);
    add_record_evidence(reading, layout.rare ? PriorTier::Rare : PriorTier::Specialised, caller_window, inside);
    return reading;
}

// An odd-length run of hex digits with a letter among them, as printf's %x
// writes a number (no leading zero): read as the number, the first nibble
// alone, big-endian as written. Runs of decimal digits stay decimal.
std::optional<ByteString> odd_hex_number(std::string_view text) {
    if (text.size() < 3 || text.size() % 2 == 0 || text.size() > 2 * MAX_HEX_BYTES - 1) return std::nullopt;
    bool letter = false;
    for (char const c : text) {
        if (hex_value(c) < 0) return std::nullopt;
        letter = letter || !is_ascii_digit(c);
    }
    if (!letter) return std::nullopt;
    char prefixed[2 * MAX_HEX_BYTES + 1] = {'0', 'x'};
    std::memcpy(prefixed + 2, text.data(), text.size());
    return parse_hex_bytes({prefixed, text.size() + 2});
}

}  // namespace

void append_byte_readings(std::vector<Candidate>& out, std::span<const uint8_t> bytes, const ReadOptions& options,
                          std::optional<ByteOrder> byte_order) {
    if (bytes.empty() || bytes.size() > MAX_HEX_BYTES) return;
    auto const width = static_cast<uint8_t>(bytes.size());
    if (width <= 8) {
        bool const moot = unsigned_value(bytes, ByteOrder::Little) == unsigned_value(bytes, ByteOrder::Big);
        for (ByteOrder const order : {ByteOrder::Big, ByteOrder::Little}) {
            if (byte_order && order != *byte_order) continue;
            if (moot && order == ByteOrder::Little && !byte_order) break;  // the big-endian pass read it
            uint64_t const value = unsigned_value(bytes, order);
            int64_t const as_signed = signed_value(bytes, order);
            // A 64-bit value at or past 2^63 has only its signed reading.
            if (width < 8 || value <= static_cast<uint64_t>(INT64_MAX)) {
                append_laid_out(out, static_cast<int64_t>(value), {InputLayout::Kind::Bytes, width, order, moot, false},
                                options, byte_order.has_value());
            }
            if (as_signed < 0) {
                append_laid_out(out, as_signed, {InputLayout::Kind::Bytes, width, order, moot, true}, options,
                                byte_order.has_value());
            }
            if (width == 8) {
                double x = 0;
                std::memcpy(&x, &value, sizeof x);  // the value's bits are the double's, whatever the host order
                std::size_t const first = out.size();
                append_float_readings(out, x, options);
                for (std::size_t i = first; i < out.size(); ++i) {
                    out[i].layout = {InputLayout::Kind::Binary64, width, order, moot, true};
                    out[i].notes.add(Note::InputLayout);
                }
            }
        }
    }
    InstantWindow const window = window_of(options);
    for (ByteLayout const& layout : BYTE_LAYOUTS) {
        if (layout.width != width) continue;
        if (auto const found = layout.decode(bytes)) out.push_back(layout_candidate(layout, *found, window, options.window.has_value()));
    }
}

void append_digit_byte_readings(std::vector<Candidate>& out, std::span<const uint8_t> bytes, const ReadOptions& options) {
    constexpr std::size_t MAX_DIGIT_BYTES = 9;  // 18 digits: below 10^18, inside int64
    if (bytes.empty() || bytes.size() > MAX_DIGIT_BYTES) return;
    int64_t value = 0;
    for (uint8_t const byte : bytes) {
        unsigned const high = byte >> 4u;  // [0, 15]
        unsigned const low = byte & 0xFu;  // [0, 15]
        if (high > 9 || low > 9) return;
        value = value * 100 + high * 10 + low;
    }
    auto const width = static_cast<uint8_t>(bytes.size());
    InputLayout const layout{InputLayout::Kind::Digits, width, ByteOrder::Big, true, false};
    ReadOptions laid = options;
    laid.context.byte_width = width;
    laid.context.byte_order.reset();  // a sequence of digits has no byte order to weigh
    bool const shaped = shaped_like_identifier(value, laid);
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        if (!family.decimal_nibbles()) continue;
        std::size_t const first = out.size();
        append_family_reading(out, family, value, laid, shaped);
        for (std::size_t i = first; i < out.size(); ++i) {
            out[i].layout = layout;
            out[i].notes.add(Note::InputLayout);
        }
    }
}

namespace {

// The readings of text as bytes, a printf %x number or a pair of words.
// Digits alone (after a '-' or not) are none of them: unprefixed digits stay
// decimal, a %x number has a letter, a pair its ':' or ','.
void append_laid_out_readings(std::vector<Candidate>& out, std::string_view text,
                              const std::optional<DigitText>& shape, const ReadOptions& options) {
    if (shape) return;
    if (auto const bytes = parse_hex_bytes(text)) {
        append_byte_readings(out, bytes->view(), options, std::nullopt);
    } else if (auto const number = odd_hex_number(text)) {
        append_byte_readings(out, number->view(), options, ByteOrder::Big);
    }
    if (auto const pair = parse_hex_word_pair(text)) {
        append_laid_out(out, static_cast<int64_t>(pair->first_high()),
                        {InputLayout::Kind::Words, 8, ByteOrder::Big, false, false}, options, false);
        append_laid_out(out, static_cast<int64_t>(pair->first_low()),
                        {InputLayout::Kind::Words, 8, ByteOrder::Little, false, false}, options, false);
    }
    if (auto const cookie = parse_decimal_word_pair(text)) {
        append_laid_out(out, static_cast<int64_t>(cookie->first_low()),
                        {InputLayout::Kind::Words, 8, ByteOrder::Little, false, false}, options, false);
    }
}

}  // namespace

void append_extended_readings(std::vector<Candidate>& out, std::string_view text, const ReadOptions& options) {
    std::optional<DigitText> const shape = digit_text_of(text);
    append_laid_out_readings(out, text, shape, options);
    InstantWindow const window = window_of(options);
    FormMemo memo;
    // Digits alone name a form no more surely than a bare-digit date does.
    bool const bare_digits = shape ? !shape->negative : !text.empty() && all_ascii_digits(text);
    // One scan of the text spares the parsers of the forms it cannot be (a
    // text of digits, after a '-' or not, holds a digit and is a token).
    bool const has_digit = shape || contains_ascii_digit(text);
    bool const token = shape || std::all_of(text.begin(), text.end(), is_token_char);
    // A text of words, neither a token nor holding a digit, can be no form;
    // an integer's text visits the few forms that can read digits alone.
    uint64_t const readers = has_digit || token ? EXTENDED_FORM_DIGIT_READERS.of(shape) : 0;
    for (uint64_t rows = readers; rows != 0; rows &= rows - 1) {
        auto const i = static_cast<std::size_t>(std::countr_zero(rows));
        FormText const kind = EXTENDED_FORM_TEXT[i];
        if (kind == FormText::YearFromWindow) continue;
        bool const possible = kind == FormText::DateTime ? has_digit : token;
        if (!possible) continue;
        StringForm const& form = EXTENDED_STRING_FORMS[i];
        auto const found = read_form(form, text, memo);
        if (!found) continue;
        Candidate& reading = out.emplace_back(form_candidate(form, *found, window));
        if (form.rare) {
            reading.facts.rare = true;
            add_record_evidence(reading, PriorTier::Rare, options.window.has_value(), window.contains(found->instant));
        } else if (bare_digits) {
            add_bare_digits_evidence(reading, options.window.has_value(), window.contains(found->instant));
        }
    }
    // A syslog date has no year: only a caller's window can fix one.
    if (options.window) {
        if (auto const found = parse_syslog(text, options.window->start, options.window->end)) {
            out.push_back(form_candidate(SYSLOG_FORM, *found, window));
        }
    }
}

}  // namespace epochsift
