#include "engine/neighbour_evidence.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <optional>
#include <span>
#include <string_view>

#include "core/per_thread.hpp"
#include "core/portable_exp.hpp"
#include "engine/column.hpp"
#include "engine/extended_score.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

namespace {

// The decimal texts of values, for the column reader.
struct DecimalTexts {
    static constexpr std::size_t DIGITS = 20;  // an int64 and its sign
    std::string storage;
    std::vector<std::string_view> texts;

    explicit DecimalTexts(std::span<const int64_t> values) : storage(values.size() * DIGITS, '\0') {
        texts.reserve(values.size());
        for (int64_t const v : values) {
            char* const begin = storage.data() + texts.size() * DIGITS;
            char* const end = std::to_chars(begin, begin + DIGITS, v).ptr;
            texts.emplace_back(begin, static_cast<std::size_t>(end - begin));
        }
    }
};

// The neighbours' column tallies, kept per thread for the next value: the
// values of one identify_many call share their neighbours, so the column of
// the neighbours is read once a thread, and each value adds only its own
// tally. The key is a copy of the neighbours and the options the tallies
// read, so a caller's new neighbours at an old address never meet old tallies.
struct NeighbourTallies {
    std::vector<int64_t> neighbours;
    std::optional<InstantWindow> window;
    std::optional<ByteOrder> byte_order;
    std::optional<uint8_t> byte_width;
    std::vector<ColumnTally> tallies;
    std::vector<double> log_priors;  // the column's, under the options the evidence reads

    bool holds(const ReadOptions& options) const {
        std::span<const int64_t> const given = options.context.neighbours;
        auto const same_window = [](const std::optional<InstantWindow>& a, const std::optional<InstantWindow>& b) {
            return a.has_value() == b.has_value() && (!a || (a->start == b->start && a->end == b->end));
        };
        return !tallies.empty() && same_window(window, options.window) && byte_order == options.context.byte_order &&
               byte_width == options.context.byte_width &&
               std::equal(neighbours.begin(), neighbours.end(), given.begin(), given.end());
    }
};

// options: the call's; column: the options the evidence reads the column under.
const NeighbourTallies& neighbour_tallies(const ReadOptions& options, const ReadOptions& column) {
    EPOCHSIFT_PER_THREAD NeighbourTallies kept;
    if (kept.holds(options)) return kept;
    std::span<const int64_t> const given = options.context.neighbours;
    DecimalTexts const texts(given);
    kept.neighbours.assign(given.begin(), given.end());
    kept.window = options.window;
    kept.byte_order = options.context.byte_order;
    kept.byte_width = options.context.byte_width;
    kept.tallies = column_tallies(texts.texts, column, DigitsAsBytes::No);
    kept.log_priors = column_log_priors(column);
    return kept;
}

}  // namespace

NeighbourEvidence neighbour_evidence(int64_t raw, const ReadOptions& given) {
    NeighbourEvidence evidence;
    // The column weighs every numeric family: one it cannot judge stands at 0.
    evidence.standing.fill(0.0f);
    ReadOptions options = given;
    options.context.neighbours = {};
    options.context.artifact_hint.reset();  // the hint weighs each reading already
    NeighbourTallies const& after = neighbour_tallies(given, options);
    DecimalTexts const own(std::span<const int64_t>(&raw, 1));
    // Every value is a decimal integer: no byte order is weighed.
    ColumnStanding const standing =
        column_standing(after.tallies, after.log_priors, own.texts.front(), options, DigitsAsBytes::No);
    if (standing.best == ColumnStanding::UNREAD) return evidence;
    // The posterior ratio to the best verdict, taken per value (its n-th
    // root): the evidence a value's layout and era give on average, which
    // does not harden as neighbours are added (FAT words stand twice as high
    // as Unix times, over 3 neighbours or 300). A family the column weighs
    // but which read no value stands at 0.
    double const per_value = 1.0 / static_cast<double>(given.context.neighbours.size() + 1);
    for (std::size_t f = 0; f < NUMERIC_FAMILY_COUNT; ++f) {
        double const lp = standing.log_posterior[f];
        evidence.standing[f] = lp == ColumnStanding::UNREAD ? 0.0f : static_cast<float>(portable_exp((lp - standing.best) * per_value));
    }
    return evidence;
}

}  // namespace epochsift
