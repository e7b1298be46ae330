#include "engine/column_selectivity.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/extended_score.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"

namespace epochsift {

namespace {

constexpr uint64_t SPLITMIX_STEP = 0x9E37'79B9'7F4A'7C15u;

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58'476D'1CE4'E5B9u;
    z = (z ^ (z >> 27)) * 0x94D0'49BB'1331'11EBu;
    return z ^ (z >> 31);
}

// splitmix64: a fixed sequence, so the table is the same on every run.
uint64_t next_random(uint64_t& state) { return mix(state += SPLITMIX_STEP); }

// A value of `bits` bits drawn uniformly (0 for none): the span is a power of two.
uint64_t value_of_length(int bits, uint64_t draw) {
    uint64_t const low = bits == 0 ? 0 : uint64_t{1} << (bits - 1);
    uint64_t const span = bits == 0 ? 1 : low;
    return low + (draw & (span - 1));
}

// A family's figures by bit length, from the sampled share it reads; a
// family that reads no sampled value of a size is as specific as one
// sample in the whole draw.
float sampled_figure(int hits) {
    double const share = std::max(hits, 1) / static_cast<double>(SPECIFICITY_SAMPLES);
    return static_cast<float>(-std::log(share));
}

void fill_float(const NumericFamily& family, std::array<float, 64>& figures) {
    uint64_t state = SPECIFICITY_SEED;
    for (int bits = 0; bits < 64; ++bits) {
        int hits = 0;
        for (int i = 0; i < SPECIFICITY_SAMPLES; ++i) {
            uint64_t const r = value_of_length(bits, next_random(state));
            double const x = static_cast<double>(r) + static_cast<double>(next_random(state) >> 11) * 0x1p-53;
            auto const instant = decode_float(family, x);
            hits += instant && typical_instant(*instant);
        }
        figures[static_cast<std::size_t>(bits)] = sampled_figure(hits);
    }
}

bool integer_hit(const NumericFamily& family, int bits, int sample) {
    uint64_t const k = static_cast<uint64_t>(bits) * SPECIFICITY_SAMPLES + static_cast<uint64_t>(sample);
    auto const raw = static_cast<int64_t>(value_of_length(bits, specificity_draw(k)));
    auto const instant = decode_integer(family, raw);
    return instant && typical_instant(*instant) && structure_fits(family, raw, *instant);
}

// N in closed form, over the whole typical span: time units of the span,
// times the fraction bits of a fixed-point count or the low bits below an
// identifier's shift, of which a well-formed sequence field (half its bits)
// keeps 2^(-width/2). An epoch late in the span (KSUID's, Discord's), which
// cuts the instants a count can reach, then does not make its layout look
// more specific than one alike but for the epoch.
double count_typical_values(const NumericFamily& family) {
    Encoding const& encoding = family.encoding;
    double const span_units =
        static_cast<double>(TYPICAL_END.ns - TYPICAL_START.ns) / static_cast<double>(unit_ns(encoding.unit));
    int const low_bits = encoding.tag == Encoding::Tag::Integer ? 0 : static_cast<int>(encoding.shift);
    return span_units * std::ldexp(1.0, low_bits - family.sequence.width / 2);
}

void fill_figures(std::array<float, 64>& figures, double typical_count) {
    for (int bits = 1; bits < 64; ++bits) {
        figures[static_cast<std::size_t>(bits)] = static_cast<float>((bits - 1) * std::log(2.0) - std::log(typical_count));
    }
}

// A packed layout keeps its sampled N: how many raw values of each length it
// reads at a typical instant, summed over the lengths.
void fill_packed(const NumericFamily& family, std::array<float, 64>& figures) {
    figures[0] = sampled_figure(0);  // no value of no bits is read
    double typical_count = 0.0;
    for (int bits = 1; bits < 64; ++bits) {
        int hits = 0;
        for (int i = 0; i < SPECIFICITY_SAMPLES; ++i) hits += integer_hit(family, bits, i);
        figures[static_cast<std::size_t>(bits)] = sampled_figure(hits);
        typical_count += hits / static_cast<double>(SPECIFICITY_SAMPLES) * std::ldexp(1.0, bits - 1);
    }
    if (typical_count > 0.0) fill_figures(figures, typical_count);
}

// A count's or identifier's N is the closed form once any sampled value
// reads at a typical instant (else every length keeps the floor), so the
// lengths are tried from the one its typical instants have outwards, and
// the first hit ends the search: the draw is the same whatever the order.
void fill_count(const NumericFamily& family, std::array<float, 64>& figures) {
    figures.fill(sampled_figure(0));
    i128 const middle = (TYPICAL_START.ns + TYPICAL_END.ns) / 2;
    i128 const count = (middle - family.epoch.ns) / unit_ns(family.encoding.unit);
    int guess = 1;
    if (count > 0) {
        int const shift = family.encoding.tag == Encoding::Tag::Integer ? 0 : static_cast<int>(family.encoding.shift);
        int const count_bits = std::bit_width(static_cast<uint64_t>(std::min<i128>(count, INT64_MAX)));
        guess = std::clamp(count_bits + shift, 1, 63);
    }
    for (int step = 0; step < 2 * 63; ++step) {
        int const bits = guess + (step % 2 == 0 ? step / 2 : -(step + 1) / 2);  // guess, +1, -1, +2, ...
        if (bits < 1 || bits > 63) continue;
        for (int i = 0; i < SPECIFICITY_SAMPLES; ++i) {
            if (!integer_hit(family, bits, i)) continue;
            fill_figures(figures, count_typical_values(family));
            return;
        }
    }
}

}  // namespace

uint64_t specificity_draw(uint64_t k) { return mix(SPECIFICITY_SEED + (k + 1) * SPLITMIX_STEP); }

bool typical_instant(PosixNs instant) { return instant >= TYPICAL_START && instant < TYPICAL_END; }

bool structure_fits(const NumericFamily& family, int64_t raw, PosixNs instant) {
    return id_structure(family, raw) == 1.0 && magnitude_fit(family, instant) >= 0.5;
}

Specificity build_column_selectivity() {
    Specificity table;
    for (std::size_t f = 0; f < NUMERIC_FAMILIES.size(); ++f) {
        // The same draw for every family, so two layouts that decode alike
        // get the same figure and only their priors part them.
        NumericFamily const& family = NUMERIC_FAMILIES[f];
        switch (family.encoding.tag) {
            case Encoding::Tag::Float: fill_float(family, table.floating[f]); break;
            case Encoding::Tag::Packed: fill_packed(family, table.integer[f]); break;
            default: fill_count(family, table.integer[f]); break;
        }
    }
    return table;
}

const Specificity& column_selectivity() {
    static const Specificity table = build_column_selectivity();  // thread-safe once-only initialisation
    return table;
}

void prepare_column_selectivity() { (void)column_selectivity(); }

}  // namespace epochsift
