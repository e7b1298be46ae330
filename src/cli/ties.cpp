#include "cli/ties.hpp"

#include <charconv>
#include <cmath>

namespace epochsift::cli {

std::string two_decimals(double score) {
    if (std::isnan(score)) return "nan";
    // Scores lie in [0, 1], but the widest finite double in fixed form has
    // 309 integer digits; room for those, a sign, the point and two decimals.
    char buffer[320];
    auto const result = std::to_chars(buffer, buffer + sizeof buffer, score, std::chars_format::fixed, 2);
    if (result.ec != std::errc{}) return "?";
    return std::string(buffer, result.ptr);
}

std::string whole_percent(double confidence) {
    if (std::isnan(confidence)) return "nan";
    if (confidence <= 0.0) return "0%";
    double const percent = confidence * 100.0;
    if (percent < 0.5) return "<1%";
    char buffer[320];  // as two_decimals: room for any finite double
    auto const result = std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, 0);
    if (result.ec != std::errc{}) return "?";
    return std::string(buffer, result.ptr) + "%";
}

std::vector<std::size_t> shared_ranks(const std::vector<std::string>& shown_scores) {
    std::vector<std::size_t> ranks(shown_scores.size());
    for (std::size_t i = 0; i < shown_scores.size(); ++i) {
        // Rows come best first, so equal texts sit next to each other.
        ranks[i] = i != 0 && shown_scores[i] == shown_scores[i - 1] ? ranks[i - 1] : i + 1;
    }
    return ranks;
}

}  // namespace epochsift::cli
