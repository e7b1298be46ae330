#include "engine/confidence.hpp"

#include "core/portable_exp.hpp"

namespace epochsift {

namespace {

// A reading's weight before the shares are normalised. The same bits
// wherever the engine runs: the confidence is written out.
double exponent_of(double score, double best) { return (score - best) / CONFIDENCE_TEMPERATURE; }
double weight_of(double score, double best) { return portable_exp(exponent_of(score, best)); }

}  // namespace

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
        reading.confidence = weight_of(reading.score, best);
        total += reading.confidence;
    }
    for (Candidate& reading : ranked) reading.confidence /= total;  // total >= 1: the best weighs 1
}

namespace {

template <typename Exp>
double total_of(std::span<const double> scores_best_first, Exp&& exp) {
    if (scores_best_first.empty()) return 0.0;
    double const best = scores_best_first.front();
    double const floor = best - CONFIDENCE_SPAN;
    double total = 0.0;
    for (double score : scores_best_first) {
        if (score < floor) break;  // and every score after it
        total += exp(exponent_of(score, best));
    }
    return total;
}

}  // namespace

double confidence_total(std::span<const double> scores_best_first) {
    return total_of(scores_best_first, [](double x) { return portable_exp(x); });
}

double confidence_total(std::span<const double> scores_best_first, PortableExpMemo& exp) {
    return total_of(scores_best_first, exp);
}

void assign_confidence(std::span<Candidate> readings, double best, double total) {
    double const floor = best - CONFIDENCE_SPAN;
    for (Candidate& reading : readings) {
        reading.confidence = reading.score < floor ? 0.0 : weight_of(reading.score, best) / total;
    }
}

}  // namespace epochsift
