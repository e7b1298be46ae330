#include "engine/neighbour_evidence.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "engine/column.hpp"
#include "engine/extended_score.hpp"

namespace epochsift {

NeighbourEvidence neighbour_evidence(int64_t raw, const ReadOptions& options) {
    NeighbourEvidence evidence;
    evidence.standing.fill(NeighbourEvidence::UNJUDGED);
    std::span<const int64_t> const neighbours = options.context.neighbours;
    // The column's values as decimal texts in one buffer: 20 characters an int64 at most.
    constexpr std::size_t DIGITS = 20;
    std::string storage((neighbours.size() + 1) * DIGITS, '\0');
    std::vector<std::string_view> texts;
    texts.reserve(neighbours.size() + 1);
    auto const add = [&](int64_t v) {
        char* const begin = storage.data() + texts.size() * DIGITS;
        char* const end = std::to_chars(begin, begin + DIGITS, v).ptr;
        texts.emplace_back(begin, static_cast<std::size_t>(end - begin));
    };
    add(raw);
    for (int64_t const v : neighbours) add(v);
    ReadOptions column_options = options;
    column_options.context.neighbours = {};
    std::vector<ColumnVerdict> const verdicts = identify_column(texts, column_options);
    double best = 0.0;
    for (ColumnVerdict const& verdict : verdicts) best = std::max(best, verdict.score);
    if (best <= 0.0) return evidence;
    // The posterior ratio to the best, taken per value (its n-th root): the
    // evidence a value's layout and era give on average, which does not
    // harden as neighbours are added (FAT words stand twice as high as Unix
    // times, over 3 neighbours or 300).
    double const per_value = 1.0 / static_cast<double>(texts.size());
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
