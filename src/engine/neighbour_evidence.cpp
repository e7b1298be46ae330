#include "engine/neighbour_evidence.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <optional>
#include <span>
#include <string_view>

#include "core/per_thread.hpp"
#include "engine/column.hpp"
#include "engine/extended_score.hpp"

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

const std::vector<ColumnTally>& neighbour_tallies(const ReadOptions& options) {
    EPOCHSIFT_PER_THREAD NeighbourTallies kept;
    if (kept.holds(options)) return kept.tallies;
    std::span<const int64_t> const given = options.context.neighbours;
    DecimalTexts const texts(given);
    kept.neighbours.assign(given.begin(), given.end());
    kept.window = options.window;
    kept.byte_order = options.context.byte_order;
    kept.byte_width = options.context.byte_width;
    kept.tallies = column_tallies(texts.texts, options);
    return kept.tallies;
}

}  // namespace

NeighbourEvidence neighbour_evidence(int64_t raw, const ReadOptions& given) {
    NeighbourEvidence evidence;
    evidence.standing.fill(NeighbourEvidence::UNJUDGED);
    ReadOptions options = given;
    options.context.neighbours = {};
    options.context.artifact_hint.reset();  // the hint weighs each reading already
    std::vector<ColumnTally> const& after = neighbour_tallies(given);
    DecimalTexts const own(std::span<const int64_t>(&raw, 1));
    std::vector<ColumnTally> tallies = column_tallies(own.texts, options);
    if (tallies.size() != after.size()) return evidence;
    for (std::size_t row = 0; row < tallies.size(); ++row) merge_column_tally(tallies[row], after[row]);
    std::vector<ColumnVerdict> const verdicts = column_verdicts(tallies, options);
    std::size_t const values = given.context.neighbours.size() + 1;
    double best = 0.0;
    for (ColumnVerdict const& verdict : verdicts) best = std::max(best, verdict.score);
    if (best <= 0.0) return evidence;
    // The posterior ratio to the best, taken per value (its n-th root): the
    // evidence a value's layout and era give on average, which does not
    // harden as neighbours are added (FAT words stand twice as high as Unix
    // times, over 3 neighbours or 300).
    double const per_value = 1.0 / static_cast<double>(values);
    for (ColumnVerdict const& verdict : verdicts) {
        if (verdict.format.kind() != FormatKind::NumericFamily || verdict.byte_order) continue;
        evidence.standing[verdict.format.row()] = static_cast<float>(std::pow(verdict.score / best, per_value));
    }
    // A family the column weighs but which read no value has no verdict: it stands at 0.
    for (NumericFamily const& family : REFERENCE_FAMILIES) {
        float& standing = evidence.standing[family.position];
        if (standing == NeighbourEvidence::UNJUDGED) standing = 0.0f;
    }
    return evidence;
}

void apply_neighbour_evidence(std::vector<Candidate>& readings, const NeighbourEvidence& evidence,
                              bool caller_window) {
    for (Candidate& reading : readings) {
        if (reading.format.kind() != FormatKind::NumericFamily) continue;
        float const standing = evidence.standing[reading.format.row()];
        if (standing == NeighbourEvidence::UNJUDGED) continue;
        bool changed = false;
        for (ScoreComponent& component : reading.components) {
            if (component.kind != Component::NeighbourMonotonicity) continue;
            component.value = standing;
            changed = true;
        }
        if (changed) reading.score = extended_score(reading.components, caller_window);
    }
}

}  // namespace epochsift
