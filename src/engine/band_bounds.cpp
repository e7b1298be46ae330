#include "engine/band_bounds.hpp"

#include <algorithm>
#include <bit>
#include <optional>

#include "engine/extended_score.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

// TAI - UTC moves by at most this over the leap table (10 s to 37 s), so
// a count on the TAI scale lies within it of the ends' instants.
constexpr i128 LEAP_SPREAD_NS = i128{64} * NS_PER_SECOND;

struct InstantSpan {
    PosixNs first;
    PosixNs last;
};

// The instants of the band's values in family, or nothing where they do not
// rise with the values (packed layouts) or an end does not decode.
std::optional<InstantSpan> band_instants(const NumericFamily& family, IntegerBand band) {
    using Tag = Encoding::Tag;
    switch (family.encoding.tag) {
        // A count (and a fixed-point count, unsigned over one sign) rises
        // with its value; an identifier's time field is its high bits.
        case Tag::Integer:
        case Tag::Fixed:
        case Tag::Shifted: break;
        case Tag::Float:
        case Tag::Packed: return std::nullopt;
    }
    auto const first = decode_integer(family, band.first);
    auto const last = decode_integer(family, band.last);
    if (!first || !last) return std::nullopt;
    InstantSpan span{*first, *last};
    if (family.scale == TimeScale::Tai) {
        // The leap table's step can take a later count to an earlier UTC instant.
        span.first.ns -= LEAP_SPREAD_NS;
        span.last.ns += LEAP_SPREAD_NS;
    }
    return span;
}

// plausible_era's most over the span: it rises to the typical era and falls after it.
double best_era(InstantSpan span) {
    if (span.last < TYPICAL_START) return plausible_era(span.last, false, false);
    if (span.first >= TYPICAL_END) return plausible_era(span.first, false, false);
    return 1.0;
}

}  // namespace

IntegerBand band_of(int64_t raw) {
    bool const negative = raw < 0;
    // ~raw = -raw - 1: the negative values mirror the others.
    uint64_t const magnitude = negative ? ~static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    int const width = std::bit_width(magnitude);
    uint64_t low = 0;
    uint64_t high = 15;
    int top = 0;
    if (width > 4) {
        int const below = width - 4;
        top = static_cast<int>(magnitude >> below & 7);
        low = magnitude >> below << below;
        high = low + ((uint64_t{1} << below) - 1);
    }
    IntegerBand band;
    band.key = static_cast<uint16_t>(((negative ? 65 : 0) + (width > 4 ? width : 0)) * 8 + top);
    band.first = negative ? static_cast<int64_t>(~high) : static_cast<int64_t>(low);
    band.last = negative ? static_cast<int64_t>(~low) : static_cast<int64_t>(high);
    return band;
}

bool band_reads_none(const NumericFamily& windowed, IntegerBand band) {
    using Tag = Encoding::Tag;
    switch (windowed.encoding.tag) {
        case Tag::Packed: return !packed_may_decode_between(windowed.encoding.codec, band.first, band.last);
        case Tag::Float: return true;  // reads no integer
        case Tag::Shifted:
            if (band.last < 0) return true;  // an identifier is never negative
            break;
        case Tag::Integer:
        case Tag::Fixed: break;
    }
    auto const span = band_instants(windowed, band);
    if (!span) return false;
    // The instants rise with the values: the span's ends bound them all.
    constexpr PosixNs BEFORE_RANGE{i128{MIN_CALENDAR_SECOND - 1} * NS_PER_SECOND};  // renders() takes none at or below
    constexpr PosixNs AFTER_RANGE{i128{MAX_CALENDAR_SECOND + 1} * NS_PER_SECOND};   // nor at or above
    return span->last <= BEFORE_RANGE || span->first >= AFTER_RANGE;
}

ComponentList band_bound_components(const NumericFamily& windowed, ComponentList components, IntegerBand band,
                                    const ReadOptions& options) {
    auto const span = band_instants(windowed, band);
    if (!span) return components;
    bool const shifted = windowed.encoding.tag == Encoding::Tag::Shifted;
    // Both rise with the instant: their most is at the span's last.
    double const settled = options.extended && shifted ? identifier_epoch_fit(span->last, windowed.epoch) : 0.0;
    double const distance = std::max(epoch_distance(windowed, span->last), settled);
    double const magnitude = std::max(magnitude_fit(windowed, span->last), settled);
    // With a caller's window the era weighs nothing and stays at its best.
    double const era = options.window ? 1.0 : best_era(*span);
    for (ScoreComponent& component : components) {
        switch (component.kind) {
            case Component::EpochDistance: component.value = std::min(component.value, distance); break;
            case Component::MagnitudeFit: component.value = std::min(component.value, magnitude); break;
            case Component::PlausibleEra: component.value = std::min(component.value, era); break;
            default: break;
        }
    }
    return components;
}

}  // namespace epochsift
