#include "formats/numeric_decode.hpp"

#include <cmath>

#include "core/leap_seconds.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

// Below 2^127, so every rounded product that passes converts to i128 exactly.
constexpr double MAX_FLOAT_COUNT = 1e38;

// Unix seconds far outside the leap table are clamped there: the offset is
// constant beyond both of its ends.
constexpr i128 LEAP_CLAMP = i128{1} << 62;

int64_t clamped_second(i128 ns) {
    i128 const seconds = floor_div(ns, NS_PER_SECOND);
    return static_cast<int64_t>(seconds < -LEAP_CLAMP ? -LEAP_CLAMP : seconds > LEAP_CLAMP ? LEAP_CLAMP : seconds);
}

// A count on the row's scale, already moved to its epoch, as a UTC instant.
PosixNs to_utc(const NumericFamily& family, i128 ns) {
    if (family.scale == TimeScale::Utc) return PosixNs{ns};
    return PosixNs{ns - i128{tai_minus_utc_at_tai(clamped_second(ns))} * NS_PER_SECOND};
}

}  // namespace

PosixNs to_row_scale(const NumericFamily& family, PosixNs instant) {
    if (family.scale == TimeScale::Utc) return instant;
    return PosixNs{instant.ns + i128{tai_minus_utc_at_utc(clamped_second(instant.ns))} * NS_PER_SECOND};
}

CodecResult<PosixNs> decode_integer(const NumericFamily& family, int64_t raw) {
    Encoding const& encoding = family.encoding;
    i128 const unit = unit_ns(encoding.unit);  // below 2^47, so any 64-bit count times it is exact
    i128 instant = 0;
    switch (encoding.tag) {
    case Encoding::Tag::Integer:
        if (!checked_add(i128{raw} * unit, family.epoch.ns, instant)) return CodecError::range(raw, "nanoseconds");
        return to_utc(family, instant);
    case Encoding::Tag::Float:
        return CodecError::range(raw, "float-format decoded as integer");
    case Encoding::Tag::Shifted: {
        if (raw < 0) return CodecError::range(raw, "embedded-id (negative)");
        uint64_t const count = static_cast<uint64_t>(raw) >> encoding.shift;  // shift < 64: checked on the table
        if (!checked_add(i128{count} * unit, family.epoch.ns, instant)) return CodecError::range(count, "nanoseconds");
        return to_utc(family, instant);
    }
    case Encoding::Tag::Fixed: {
        // The field is unsigned: a 64-bit value past 2^63 arrives as negative.
        uint64_t const bits = static_cast<uint64_t>(raw);
        uint64_t const whole = bits >> encoding.shift;  // shift in [1, 63]: checked on the table
        uint64_t const fraction = bits & ((uint64_t{1} << encoding.shift) - 1);
        i128 const sub_unit = i128{fraction} * unit >> encoding.shift;  // floor: below 2^110, exact
        if (!checked_add(i128{whole} * unit + sub_unit, family.epoch.ns, instant)) {
            return CodecError::range(whole, "nanoseconds");
        }
        return to_utc(family, instant);
    }
    case Encoding::Tag::Packed:
        break;
    }
    return PACKED_DECODERS[static_cast<std::size_t>(encoding.codec)](raw);
}

std::optional<PosixNs> decode_float(const NumericFamily& family, double x) {
    double const scaled = x * static_cast<double>(unit_ns(family.encoding.unit));
    double const rounded = std::round(scaled);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= MAX_FLOAT_COUNT) return std::nullopt;
    i128 instant = 0;
    if (!checked_add(static_cast<i128>(rounded), family.epoch.ns, instant)) return std::nullopt;
    return PosixNs{instant};
}

}  // namespace epochsift
