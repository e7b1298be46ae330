// The shape of a numeric timestamp family: how a raw number encodes an
// instant, where the family is met, and which instants are plausible.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

enum class Unit : uint8_t {
    Seconds = 0,
    Milliseconds = 1,
    TenMilliseconds = 2,
    Microseconds = 3,
    HundredNanoseconds = 4,
    Nanoseconds = 5,
    Days = 6,
    Minutes = 7,
    TenMicroseconds = 8,
};

constexpr int64_t unit_ns(Unit unit) {
    constexpr int64_t LENGTHS[] = {1'000'000'000, 1'000'000, 10'000'000, 1'000, 100, 1,
                                   86'400'000'000'000, 60'000'000'000, 10'000};
    return LENGTHS[static_cast<uint8_t>(unit)];
}

// Sub-second decimal digits a count of this unit carries; 0 for whole
// seconds, minutes and days, which have none to undercut.
constexpr int sub_second_digits(Unit unit) {
    switch (unit) {
        case Unit::Milliseconds: return 3;
        case Unit::TenMilliseconds: return 2;
        case Unit::Microseconds: return 6;
        case Unit::HundredNanoseconds: return 7;
        case Unit::Nanoseconds: return 9;
        case Unit::TenMicroseconds: return 5;
        case Unit::Seconds:
        case Unit::Minutes:
        case Unit::Days: return 0;
    }
    return 0;
}

// Codes index the decoder and encoder tables of the packed codecs.
enum class PackedCodec : uint8_t {
    FatDos = 0,
    Exfat = 1,
    Dttm = 2,
    BitDate = 3,
    BitDec = 4,
    Bcd = 5,
    Moto = 6,
    Symantec = 7,
    Dvr = 8,
    Ns40 = 9,
    Ns40Le = 10,
    LogTime = 11,
    SemiOctet = 12,
    Gsm = 13,
    NokiaLe = 14,
    SqlServer = 15,
    DotnetBinary = 16,
};
inline constexpr std::size_t PACKED_CODEC_COUNT = static_cast<std::size_t>(PackedCodec::DotnetBinary) + 1;

// Bytes each packed layout occupies as stored, indexed by the codec.
inline constexpr auto PACKED_WIDTHS = std::to_array<uint8_t>({
    4,  // FatDos: date word, time word
    4,  // Exfat
    4,  // Dttm
    4,  // BitDate
    5,  // BitDec: a 15-bit year above the 20-bit minute word
    6,  // Bcd: twelve digits, two a byte
    6,  // Moto
    6,  // Symantec
    4,  // Dvr
    7,  // Ns40
    7,  // Ns40Le
    8,  // LogTime
    6,  // SemiOctet
    7,  // Gsm
    4,  // NokiaLe
    8,  // SqlServer: days, then ticks
    8,  // DotnetBinary: kind bits above the ticks
});
static_assert(PACKED_WIDTHS.size() == PACKED_CODEC_COUNT, "one stored width for each packed codec");

// Tagged encoding; the tag values are fixed because the table is data.
// Fixed is unsigned binary fixed point: whole units above `shift` fraction
// bits (NTP's 32.32 timestamp).
struct Encoding {
    enum class Tag : uint8_t { Integer = 0, Float = 1, Shifted = 2, Packed = 3, Fixed = 4 };
    Tag tag = Tag::Integer;
    Unit unit = Unit::Seconds;               // Integer, Float, Shifted, Fixed
    uint32_t shift = 0;                      // Shifted, Fixed
    PackedCodec codec = PackedCodec::FatDos;  // Packed
};

constexpr Encoding Integer(Unit unit) { return {Encoding::Tag::Integer, unit, 0, PackedCodec::FatDos}; }
constexpr Encoding Float(Unit unit) { return {Encoding::Tag::Float, unit, 0, PackedCodec::FatDos}; }
constexpr Encoding Shifted(Unit unit, uint32_t shift) {
    return {Encoding::Tag::Shifted, unit, shift, PackedCodec::FatDos};
}
constexpr Encoding Packed(PackedCodec codec) { return {Encoding::Tag::Packed, Unit::Seconds, 0, codec}; }
constexpr Encoding Fixed(Unit unit, uint32_t fraction_bits) {
    return {Encoding::Tag::Fixed, unit, fraction_bits, PackedCodec::FatDos};
}

// The width a field of this encoding usually has: 64-bit counts for
// identifiers and sub-second units, 32 bits for seconds, days and packed
// layouts (also the packed layouts that span six to eight bytes). The byte
// width evidence compares the caller's width with it.
constexpr uint8_t usual_byte_width(const Encoding& encoding) {
    switch (encoding.tag) {
        case Encoding::Tag::Float:
        case Encoding::Tag::Shifted:
        case Encoding::Tag::Fixed: return 8;
        case Encoding::Tag::Packed: return encoding.codec == PackedCodec::DotnetBinary ? 8 : 4;
        case Encoding::Tag::Integer: return encoding.unit == Unit::Seconds || encoding.unit == Unit::Days ? 4 : 8;
    }
    return 8;
}

// The scale a count runs on. A Tai count includes every leap second since
// its epoch (GPS, TAI): the leap table takes it to UTC, and the row's epoch
// is written as a TAI label, in seconds since 1970-01-01T00:00:00 TAI.
enum class TimeScale : uint8_t { Utc, Tai };

// Which readings a row takes part in: the reference reading reads only
// Reference rows, so that its output never changes as rows are added; the
// extended reading reads them all.
enum class Availability : uint8_t { Reference, Extended };

// How often a family is met: the ranking's prior between equal scores.
enum class Prevalence : uint8_t { Common, Rare };

constexpr double prevalence_value(Prevalence tier) { return tier == Prevalence::Rare ? 0.5 : 1.0; }

// How often analysts meet a family in the data they are handed: the extended
// reading's prior between families that fit a value equally well. The tiers
// and their reasons are listed with the table (numeric_family_table.hpp).
enum class PriorTier : uint8_t {
    Everyday,     // written by every platform's standard clock call
    Common,       // one major platform's or product's native form
    Specialised,  // one product family or identifier scheme
    Rare,         // device, firmware or legacy layouts
};

constexpr double prior_value(PriorTier tier) {
    constexpr double VALUES[] = {1.0, 0.8, 0.6, 0.4};
    return VALUES[static_cast<uint8_t>(tier)];
}

// Where an identifier keeps its per-tick sequence counter: a real identifier
// restarts it every tick, so it is small; a count read as an identifier has
// uniformly random bits there. Width 0: no such field.
struct SequenceField {
    uint8_t low_bit = 0;
    uint8_t width = 0;
};

// One row of the numeric family table: every fact about a family.
struct NumericFamily {
    std::string_view id;
    std::string_view label;
    std::string_view source;
    std::string_view citation;
    Encoding encoding;
    PosixNs epoch;         // what a raw count of zero denotes; unused by Packed rows
    PosixNs window_start;  // plausibility window, start inclusive
    PosixNs window_end;    // end exclusive
    bool local = false;    // stores local wall-clock time, read as if UTC
    Prevalence prevalence = Prevalence::Common;
    bool clock_policy_known = false;
    // The family's writers keep sub-second ticks, so a count of whole
    // seconds hints at a time set by a tool rather than recorded.
    bool whole_second_suspicious = false;
    PriorTier prior = PriorTier::Common;
    SequenceField sequence{};
    TimeScale scale = TimeScale::Utc;
    Availability availability = Availability::Reference;
    // Set by the table from the encoding:
    uint16_t position = 0;     // the row's index in NUMERIC_FAMILIES
    uint8_t usual_width = 0;   // usual_byte_width(encoding)
    uint8_t packed_width = 0;  // a packed row's stored bytes (PACKED_WIDTHS); 0 for counts

    constexpr NumericFamily with_prior(PriorTier tier) const {
        NumericFamily row = *this;
        row.prior = tier;
        return row;
    }

    constexpr NumericFamily with_sequence(uint8_t low_bit, uint8_t width) const {
        NumericFamily row = *this;
        row.sequence = {low_bit, width};
        return row;
    }

    constexpr NumericFamily with_whole_second_note() const {
        NumericFamily row = *this;
        row.whole_second_suspicious = true;
        return row;
    }

    constexpr NumericFamily with_window(PosixNs start, PosixNs end) const {
        NumericFamily row = *this;
        row.window_start = start;
        row.window_end = end;
        return row;
    }

    // A row only the extended reading reads.
    constexpr NumericFamily extended_only() const {
        NumericFamily row = *this;
        row.availability = Availability::Extended;
        return row;
    }

    // A count on the atomic scale: leap seconds are applied, so the clock's
    // policy is known.
    constexpr NumericFamily on_tai_scale() const {
        NumericFamily row = *this;
        row.scale = TimeScale::Tai;
        row.clock_policy_known = true;
        return row;
    }

    constexpr bool reference() const { return availability == Availability::Reference; }
    constexpr bool packed() const { return encoding.tag == Encoding::Tag::Packed; }
    // The row's raw value is a run of decimal digits stored one a nibble,
    // most significant first (BCD digit pairs, GSM semi-octets): a sequence
    // of bytes with no byte order, whose digits are the raw count.
    constexpr bool decimal_nibbles() const {
        return packed() && (encoding.codec == PackedCodec::Bcd || encoding.codec == PackedCodec::SemiOctet);
    }
    constexpr bool contains(PosixNs instant) const { return window_start <= instant && instant < window_end; }
};

}  // namespace epochsift
