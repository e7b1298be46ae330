#include "formats/numeric_decode.hpp"

#include <cmath>

#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

// Below 2^127, so every rounded product that passes converts to i128 exactly.
constexpr double MAX_FLOAT_COUNT = 1e38;

}  // namespace

CodecResult<PosixNs> decode_integer(const NumericFamily& family, int64_t raw) {
    Encoding const& encoding = family.encoding;
    i128 const unit = unit_ns(encoding.unit);  // below 2^47, so any 64-bit count times it is exact
    i128 instant = 0;
    switch (encoding.tag) {
    case Encoding::Tag::Integer:
        if (!checked_add(i128{raw} * unit, family.epoch.ns, instant)) return CodecError::range(raw, "nanoseconds");
        return PosixNs{instant};
    case Encoding::Tag::Float:
        return CodecError::range(raw, "float-format decoded as integer");
    case Encoding::Tag::Shifted: {
        if (raw < 0) return CodecError::range(raw, "embedded-id (negative)");
        uint64_t const count = static_cast<uint64_t>(raw) >> encoding.shift;  // shift < 64: checked on the table
        if (!checked_add(i128{count} * unit, family.epoch.ns, instant)) return CodecError::range(count, "nanoseconds");
        return PosixNs{instant};
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
