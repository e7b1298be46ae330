#include "engine/confidence.hpp"

#include "core/portable_exp.hpp"

namespace epochsift {

void assign_confidence(std::span<Candidate> ranked) {
    if (ranked.empty()) return;
    double const best = ranked.front().score;
    double const floor = best - CONFIDENCE_SPAN;
    // The sum runs in rank order over the readings near the best: a caller
    // that built only those gets the same bits.
    double total = 0.0;
    for (Candidate& reading : ranked) {
        if (reading.score < floor) {
            reading.confidence = 0.0;
            continue;
        }
        // The same bits wherever the engine runs: the confidence is written out.
        reading.confidence = portable_exp((reading.score - best) / CONFIDENCE_TEMPERATURE);
        total += reading.confidence;
    }
    for (Candidate& reading : ranked) reading.confidence /= total;  // total >= 1: the best weighs 1
}

}  // namespace epochsift
