// The shape of a numeric timestamp family: how a raw number encodes an
// instant, where the family is met, and which instants are plausible.
#pragma once

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
};

constexpr int64_t unit_ns(Unit unit) {
    constexpr int64_t LENGTHS[] = {1'000'000'000, 1'000'000, 10'000'000, 1'000, 100, 1,
                                   86'400'000'000'000};
    return LENGTHS[static_cast<uint8_t>(unit)];
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
};
inline constexpr std::size_t PACKED_CODEC_COUNT = 16;

// Tagged encoding; the tag values are fixed because the table is data.
struct Encoding {
    enum class Tag : uint8_t { Integer = 0, Float = 1, Shifted = 2, Packed = 3 };
    Tag tag = Tag::Integer;
    Unit unit = Unit::Seconds;               // Integer, Float, Shifted
    uint32_t shift = 0;                      // Shifted
    PackedCodec codec = PackedCodec::FatDos;  // Packed
};

constexpr Encoding Integer(Unit unit) { return {Encoding::Tag::Integer, unit, 0, PackedCodec::FatDos}; }
constexpr Encoding Float(Unit unit) { return {Encoding::Tag::Float, unit, 0, PackedCodec::FatDos}; }
constexpr Encoding Shifted(Unit unit, uint32_t shift) {
    return {Encoding::Tag::Shifted, unit, shift, PackedCodec::FatDos};
}
constexpr Encoding Packed(PackedCodec codec) { return {Encoding::Tag::Packed, Unit::Seconds, 0, codec}; }

// How often a family is met: the ranking's prior between equal scores.
enum class Prevalence : uint8_t { Common, Rare };

constexpr double prevalence_value(Prevalence tier) { return tier == Prevalence::Rare ? 0.5 : 1.0; }

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

    constexpr NumericFamily with_whole_second_note() const {
        NumericFamily row = *this;
        row.whole_second_suspicious = true;
        return row;
    }

    constexpr bool packed() const { return encoding.tag == Encoding::Tag::Packed; }
    constexpr bool contains(PosixNs instant) const { return window_start <= instant && instant < window_end; }
};

}  // namespace epochsift
