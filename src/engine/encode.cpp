#include "engine/encode.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/number_lexing.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/extended_string_forms.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/packed_codecs.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

namespace {

// Fraction digits a float row's text may need: nanoseconds are nine digits of
// a second; a day's nanosecond is 1/86 400e9, so twenty digits leave the
// decimal far closer to the instant than any double near it.
constexpr int fraction_digits(Unit unit) { return unit == Unit::Days ? 20 : 9; }

constexpr i128 power_of_ten(int n) {
    i128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

std::string decimal(i128 value) {
    bool const negative = value < 0;
    u128 magnitude = negative ? u128(0) - static_cast<u128>(value) : static_cast<u128>(value);
    char digits[40];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    std::string out;
    if (negative) out += '-';
    while (n > 0) out += digits[--n];
    return out;
}

// scaled / 10^digits written with exactly that many fraction digits.
std::string fixed_point(bool negative, i128 scaled, int digits) {
    std::string text = decimal(scaled);
    if (static_cast<int>(text.size()) <= digits) text.insert(0, static_cast<std::size_t>(digits) + 1 - text.size(), '0');
    text.insert(text.size() - static_cast<std::size_t>(digits), 1, '.');
    if (negative) text.insert(0, 1, '-');
    return text;
}

// Identify keeps only readings it can render.
bool in_calendar(PosixNs instant) {
    return instant.ns >= i128{MIN_CALENDAR_SECOND} * NS_PER_SECOND && instant.ns <= i128{MAX_CALENDAR_SECOND} * NS_PER_SECOND;
}

bool rounds_in_range(i128 count) { return count >= INT64_MIN && count <= INT64_MAX; }

// 32 bits for counts of seconds or days that fit them, signed or unsigned; 64 otherwise.
StoredBytes integer_bytes(const NumericFamily& family, int64_t raw) {
    Unit const unit = family.encoding.unit;
    bool const narrow = family.encoding.tag == Encoding::Tag::Integer && (unit == Unit::Seconds || unit == Unit::Days) &&
                        raw >= INT32_MIN && raw <= int64_t{UINT32_MAX};
    if (narrow) return {static_cast<uint64_t>(raw) & 0xFFFF'FFFF, 4};
    return {static_cast<uint64_t>(raw), 8};
}

uint64_t nibbles_of_digits(uint64_t value) {
    uint64_t nibbles = 0;
    for (int shift = 0; value != 0; shift += 4, value /= 10) nibbles |= (value % 10) << shift;
    return nibbles;
}

std::optional<Encoded> encode_count(const NumericFamily& family, PosixNs instant) {
    i128 const count = floor_div(to_row_scale(family, instant).ns - family.epoch.ns, unit_ns(family.encoding.unit));
    if (!rounds_in_range(count)) return std::nullopt;
    auto raw = static_cast<int64_t>(count);
    if (family.encoding.tag == Encoding::Tag::Shifted) {
        if (raw < 0 || raw > (INT64_MAX >> family.encoding.shift)) return std::nullopt;
        raw <<= family.encoding.shift;
    }
    auto const reads_as = decode_integer(family, raw);
    if (!reads_as || !in_calendar(*reads_as)) return std::nullopt;  // a coarse unit can floor past the first day
    Encoded out{family.id, family.label, decimal(raw), *reads_as, integer_bytes(family, raw), 0};
    if (family.encoding.tag == Encoding::Tag::Shifted) out.add(EncodeNote::IdentifierBitsZero);
    return out;
}

// Whole units above the fraction bits; the fraction is rounded up, so that
// the decoder's floor gives back the instant whenever a unit's 2^shift
// steps are finer than a nanosecond.
std::optional<Encoded> encode_fixed(const NumericFamily& family, PosixNs instant) {
    i128 const unit = unit_ns(family.encoding.unit);
    uint32_t const shift = family.encoding.shift;
    i128 const offset = to_row_scale(family, instant).ns - family.epoch.ns;
    i128 const whole = floor_div(offset, unit);
    i128 const remainder = offset - whole * unit;                                // [0, unit)
    i128 const fraction = ((remainder << shift) + unit - 1) / unit;              // below 2^shift
    if (whole < 0 || whole >= (i128{1} << (64 - shift))) return std::nullopt;
    auto const bits = static_cast<uint64_t>(whole) << shift | static_cast<uint64_t>(fraction);
    auto const raw = static_cast<int64_t>(bits);  // the decoder takes the same 64 bits, signed
    auto const reads_as = decode_integer(family, raw);
    if (!reads_as || !in_calendar(*reads_as)) return std::nullopt;
    return Encoded{family.id, family.label, decimal(raw), *reads_as, StoredBytes{bits, 8}, 0};
}

std::optional<Encoded> encode_packed(const NumericFamily& family, PosixNs instant) {
    auto const codec = static_cast<std::size_t>(family.encoding.codec);
    auto const bits = PACKED_ENCODERS[codec](instant);
    if (!bits) return std::nullopt;
    auto const raw = static_cast<int64_t>(*bits);  // the decoders take the same 64 bits, signed
    auto const reads_as = PACKED_DECODERS[codec](raw);
    if (!reads_as) return std::nullopt;
    StoredBytes stored{*bits, family.packed_width};
    if (family.decimal_nibbles()) {  // a sequence of digits: no byte order to choose
        stored.bits = nibbles_of_digits(*bits);
        stored.ordered = false;
    }
    return Encoded{family.id, family.label, decimal(raw), *reads_as, stored, 0};
}

// What identify reads from a float row's text, and the double it parses.
struct FloatReading {
    PosixNs instant;
    double value;
};

std::optional<FloatReading> read_float(const NumericFamily& family, const std::string& text) {
    auto const value = parse_float(text);
    if (!value) return std::nullopt;
    auto const instant = decode_float(family, *value);
    if (!instant) return std::nullopt;
    return FloatReading{*instant, *value};
}

// The shortest decimal text (one fraction digit at least, so that it reads as
// a number with a point) that reads back as the nearest double does.
std::optional<Encoded> encode_float(const NumericFamily& family, PosixNs instant) {
    i128 const unit = unit_ns(family.encoding.unit);
    i128 const offset = instant.ns - family.epoch.ns;
    bool const negative = offset < 0;
    i128 const magnitude = negative ? -offset : offset;
    i128 const whole = magnitude / unit;
    i128 const remainder = magnitude % unit;
    int const most = fraction_digits(family.encoding.unit);
    if (whole > power_of_ten(38 - most - 1)) return std::nullopt;  // scaled counts stay within 128 bits

    // The count scaled by 10^digits, rounded to nearest (halves up).
    auto const scaled = [&](int digits) {
        i128 const p = power_of_ten(digits);
        i128 const fraction = remainder * p;  // remainder < 86 400e9 < 2^47, p <= 10^20 < 2^67
        return whole * p + (fraction + unit / 2) / unit;
    };
    auto const best = read_float(family, fixed_point(negative, scaled(most), most));
    if (!best) return std::nullopt;
    for (int digits = 1; digits <= most; ++digits) {
        std::string text = fixed_point(negative, scaled(digits), digits);
        auto const read = read_float(family, text);
        if (!read || read->instant != best->instant) continue;
        Encoded out{family.id, family.label, std::move(text), read->instant,
                    StoredBytes{std::bit_cast<uint64_t>(read->value), 8}, 0};
        out.add(EncodeNote::NearestDouble);
        return out;
    }
    return std::nullopt;
}

std::optional<Encoded> encode_numeric(const NumericFamily& family, PosixNs instant) {
    std::optional<Encoded> out;
    switch (family.encoding.tag) {
        case Encoding::Tag::Integer:
        case Encoding::Tag::Shifted: out = encode_count(family, instant); break;
        case Encoding::Tag::Float: out = encode_float(family, instant); break;
        case Encoding::Tag::Packed: out = encode_packed(family, instant); break;
        case Encoding::Tag::Fixed: out = encode_fixed(family, instant); break;
    }
    if (out && family.local) out->add(EncodeNote::WallClockUtc);
    return out;
}

// The writer's text, kept only when the form's own parser reads it back.
std::optional<Encoded> encode_form(const StringForm& form, PosixNs instant) {
    if (form.write == nullptr) return std::nullopt;
    auto text = form.write(instant);
    if (!text) return std::nullopt;
    FormMemo memo;
    auto const read = read_form(form, *text, memo);
    if (!read) return std::nullopt;
    Encoded out{form.id, form.label, std::move(*text), read->instant, std::nullopt, 0};
    if (form.naive) out.add(EncodeNote::WallClockUtc);
    return out;
}

bool wanted(std::string_view id, std::span<const std::string_view> families) {
    return families.empty() || std::find(families.begin(), families.end(), id) != families.end();
}

// Forms whose text holds bits beside the time, written as zeros.
constexpr std::array<std::string_view, 6> IDENTIFIER_FORMS = {"ulid",    "uuid_v1",  "uuid_v6",
                                                              "uuid_v7", "objectid", "google_ei"};

}  // namespace

bool is_family_id(std::string_view id) {
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        if (family.id == id) return true;
    }
    for (StringForm const& form : STRING_FORMS) {
        if (form.id == id) return true;
    }
    for (StringForm const& form : EXTENDED_STRING_FORMS) {
        if (form.id == id && form.write != nullptr) return true;
    }
    return false;
}

std::vector<Encoded> encode(PosixNs instant, std::span<const std::string_view> families) {
    std::vector<Encoded> out;
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        if (!wanted(family.id, families)) continue;
        if (auto encoded = encode_numeric(family, instant)) out.push_back(std::move(*encoded));
    }
    for (StringForm const& form : STRING_FORMS) {
        if (!wanted(form.id, families)) continue;
        auto encoded = encode_form(form, instant);
        if (!encoded) continue;
        if (std::find(IDENTIFIER_FORMS.begin(), IDENTIFIER_FORMS.end(), form.id) != IDENTIFIER_FORMS.end()) {
            encoded->add(EncodeNote::IdentifierBitsZero);
        }
        out.push_back(std::move(*encoded));
    }
    for (StringForm const& form : EXTENDED_STRING_FORMS) {
        if (!wanted(form.id, families)) continue;
        if (auto encoded = encode_form(form, instant)) out.push_back(std::move(*encoded));
    }
    for (Encoded& encoded : out) {
        if (encoded.reads_as != instant) encoded.add(EncodeNote::Rounded);
    }
    return out;
}

}  // namespace epochsift
