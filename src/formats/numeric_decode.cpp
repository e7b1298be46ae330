#include "formats/numeric_decode.hpp"

#include <array>

#include "formats/numeric_families.hpp"

namespace epochsift {

CodecResult<PosixNs> Format::decode_int(int64_t raw) const {
    Encoding const& encoding = spec->encoding;
    i128 const unit = unit_ns(encoding.unit);  // below 2^47, so any 64-bit count times it is exact
    i128 instant = 0;
    switch (encoding.tag) {
    case Encoding::Tag::Integer:
        if (!checked_add(i128{raw} * unit, spec->epoch.ns, instant)) {
            return CodecError::range(raw, "nanoseconds");
        }
        return PosixNs{instant};
    case Encoding::Tag::Float:
        return CodecError::range(raw, "float-format decoded as integer");
    case Encoding::Tag::Shifted: {
        if (raw < 0) return CodecError::range(raw, "embedded-id (negative)");
        uint64_t const count = static_cast<uint64_t>(raw) >> (encoding.shift % 64);
        if (!checked_add(i128{count} * unit, spec->epoch.ns, instant)) {
            return CodecError::range(count, "nanoseconds");
        }
        return PosixNs{instant};
    }
    case Encoding::Tag::Packed:
        break;
    }
    if (!codec) return CodecError::range(0, "packed format has no engine codec (internal invariant broken)");
    return codec->decode(raw);
}

std::span<const Format> FormatsView::operator()() const {
    // Built on first use; the static's guard makes that once, whichever
    // thread gets here first.
    static const std::array<Format, TIME_FORMATS.size()> formats = [] {
        std::array<Format, TIME_FORMATS.size()> built{};
        for (std::size_t i = 0; i < TIME_FORMATS.size(); ++i) {
            TimeFormat const& row = TIME_FORMATS[i];
            built[i].spec = &row;
            if (row.encoding.tag == Encoding::Tag::Packed) {
                auto const code = static_cast<std::size_t>(row.encoding.codec);
                built[i].codec = CodecPair{PACKED_DECODERS[code], PACKED_ENCODERS[code]};
            }
        }
        return built;
    }();
    return formats;
}

}  // namespace epochsift
