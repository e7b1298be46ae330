#include "engine/score.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "core/ascii_scan.hpp"
#include "core/decimal_digits.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

namespace {

using Tag = Encoding::Tag;


// min((instant - epoch) / TWO_YEARS, 1.0), or nothing when the instant lies
// less than one nanosecond after the epoch.
std::optional<double> distance_ratio(PosixNs instant, PosixNs epoch) {
    i128 d = 0;
    if (__builtin_sub_overflow(instant.ns, epoch.ns, &d)) {
        // Out of 128 bits: far beyond two years on one side or the other.
        return instant > epoch ? std::optional<double>(1.0) : std::nullopt;
    }
    if (d < 1) return std::nullopt;
    // Two years or more: the ratio is 1 or more (TWO_YEARS is a whole number
    // of nanoseconds and the conversion keeps the order), and saturates.
    static_assert(static_cast<double>(static_cast<i128>(TWO_YEARS)) == TWO_YEARS);
    if (d >= static_cast<i128>(TWO_YEARS)) return 1.0;
    // GCC's and clang's __int128 to double conversion rounds to nearest, ties
    // to even (checked in the scoring tests).
    return std::min(to_double(d) / TWO_YEARS, 1.0);
}

bool is_ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool contains_ignoring_ascii_case(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) return false;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        std::size_t k = 0;
        while (k < needle.size() && ascii_lower(haystack[start + k]) == ascii_lower(needle[k])) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

std::optional<PosixNs> instant_in_window(const NumericFamily& family, int64_t raw) {
    auto const decoded = decode_integer(family, raw);
    if (!decoded || !family.contains(*decoded)) return std::nullopt;
    return *decoded;
}

}  // namespace

bool decodes_into_window(const NumericFamily& family, int64_t raw) {
    return instant_in_window(family, raw).has_value();
}

double granularity_match(const NumericFamily& family, int64_t raw) {
    Encoding const& encoding = family.encoding;
    if (encoding.tag == Tag::Packed) return 1.0;
    int const digits = sub_second_digits(encoding.unit);
    if (digits == 0) return 1.0;
    // On a Shifted row this reads the whole identifier, not its time field.
    int const zeros = std::min(trailing_decimal_zeros(magnitude(raw)), digits);
    return 1.0 - static_cast<double>(zeros) / static_cast<double>(digits);
}

double magnitude_fit(const NumericFamily& family, PosixNs instant) {
    switch (family.encoding.tag) {
        case Tag::Packed: return 1.0;
        case Tag::Shifted: return distance_ratio(instant, family.epoch).value_or(0.0);
        case Tag::Integer:
        case Tag::Fixed:
        case Tag::Float: return 1.0;
    }
    return 1.0;
}

double epoch_distance(const NumericFamily& family, PosixNs instant) {
    if (family.encoding.tag == Tag::Packed) return 1.0;  // packed rows have no epoch
    return distance_ratio(instant, family.epoch).value_or(0.0);
}

double not_sentinel(int64_t raw) { return is_sentinel(raw) ? 0.0 : 1.0; }

double byte_width_match(const NumericFamily& family, int64_t raw, uint8_t byte_width) {
    int const expected = family.usual_width;
    if (byte_width == expected) return 1.0;
    if (raw == 0) return 0.5;
    int const significant_bits = 64 - __builtin_clzll(magnitude(raw));
    int const needed = (significant_bits + 7) / 8;  // [1, 8]
    return expected < needed ? 0.0 : 0.5;
}

double endian_match(const NumericFamily& family, int64_t raw, bool raw_in_window, uint8_t byte_width) {
    if (!raw_in_window) return 0.0;
    int64_t swapped = 0;
    if (byte_width == 8) {
        swapped = static_cast<int64_t>(__builtin_bswap64(static_cast<uint64_t>(raw)));
    } else if (byte_width == 4 && raw >= 0 && raw <= 0xFFFF'FFFF) {
        swapped = static_cast<int64_t>(__builtin_bswap32(static_cast<uint32_t>(raw)));
    } else {
        return 1.0;  // no other byte order to compare with
    }
    // Both byte orders landing in the window leave the order undecided.
    return decodes_into_window(family, swapped) ? 0.5 : 1.0;
}

double artifact_match(const NumericFamily& family, std::string_view artifact_hint) {
    // The haystack is "id source label" in lower case. A token is ASCII
    // letters and digits only, so it can match only ASCII bytes and never
    // across the separating spaces: searching id, source and label one by one
    // with ASCII case folding finds the same tokens without building it. The
    // only non-ASCII characters in the rows (µ, §, —, −) are their own
    // lower case, so ASCII folding is the full lowercase mapping here.
    std::string_view const fields[] = {family.id, family.source, family.label};
    std::size_t i = 0;
    while (i < artifact_hint.size()) {
        while (i < artifact_hint.size() && !is_ascii_alnum(artifact_hint[i])) ++i;
        std::size_t const start = i;
        while (i < artifact_hint.size() && is_ascii_alnum(artifact_hint[i])) ++i;
        std::string_view const token = artifact_hint.substr(start, i - start);
        if (token.size() < 3) continue;
        for (std::string_view const field : fields) {
            if (contains_ignoring_ascii_case(field, token)) return 1.0;
        }
    }
    return 0.2;
}

double neighbour_monotonicity(const NumericFamily& family, std::span<const int64_t> neighbours) {
    if (neighbours.empty()) return 0.0;
    if (neighbours.size() == 1) return decodes_into_window(family, neighbours[0]) ? 1.0 : 0.0;
    // A pair agrees when both values land in the window and the instants
    // run the same way as the raw values.
    std::optional<PosixNs> previous = instant_in_window(family, neighbours[0]);
    uint64_t agreeing = 0;
    for (std::size_t i = 1; i < neighbours.size(); ++i) {
        std::optional<PosixNs> const current = instant_in_window(family, neighbours[i]);
        if (previous && current && (neighbours[i] < neighbours[i - 1]) == (*current < *previous)) ++agreeing;
        previous = current;
    }
    return static_cast<double>(agreeing) / static_cast<double>(neighbours.size() - 1);
}

namespace {

// component_weight as a table: one load a component instead of a branch.
constexpr WeightTable COMPONENT_WEIGHTS = [] {
    std::array<double, COMPONENT_COUNT> weights{};
    for (std::size_t i = 0; i < COMPONENT_COUNT; ++i) weights[i] = component_weight(static_cast<Component>(i));
    return weights;
}();

}  // namespace

double weighted_score(std::span<const ScoreComponent> components, const WeightTable& weights) {
    double sum = 0.0;
    double weight_sum = 0.0;
    for (ScoreComponent const& component : components) {
        double const weight = weights[static_cast<std::size_t>(component.kind)];
        sum += weight * component.value;
        weight_sum += weight;
    }
    return weight_sum == 0.0 ? 0.0 : sum / weight_sum;
}

double overall_score(std::span<const ScoreComponent> components) { return weighted_score(components, COMPONENT_WEIGHTS); }

const WeightTable& reference_weights() { return COMPONENT_WEIGHTS; }

}  // namespace epochsift
