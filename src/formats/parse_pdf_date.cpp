// PDF date string: D:YYYY[MM[DD[HH[mm[SS]]]]] then Z, an offset written
// +HH'mm' (apostrophes optional), or nothing.
#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

namespace {

constexpr std::size_t OFFSET_LEN = 5;  // +HHmm once the apostrophes are gone

// The two digits at position at, or fallback when the run is too short.
int32_t pair_or(std::string_view digits, std::size_t at, int32_t fallback) {
    return digits.size() < at + 2 ? fallback : two_digits_at(digits, at);
}

}  // namespace

std::optional<PosixNs> parse_pdf_date(std::string_view text) {
    if (!text.starts_with("D:")) return std::nullopt;
    std::string_view const rest = text.substr(2);
    std::size_t run = 0;
    while (run < rest.size() && is_ascii_digit(rest[run])) ++run;
    if (run < 4) return std::nullopt;
    std::string_view const digits = rest.substr(0, run);
    std::string_view const zone = rest.substr(run);

    int64_t offset = 0;
    if (!zone.empty() && zone.front() != 'Z') {
        // Apostrophes are decoration (+05'30'); the first five other bytes
        // must be the offset and anything after them is ignored.
        char compact[OFFSET_LEN];
        std::size_t kept = 0;
        for (std::size_t i = 0; i < zone.size() && kept < OFFSET_LEN; ++i) {
            if (zone[i] != '\'') compact[kept++] = zone[i];
        }
        auto const parsed = numeric_offset_secs(std::string_view(compact, kept));
        if (!parsed) return std::nullopt;
        offset = *parsed;
    }

    auto const year = static_cast<int16_t>(*fixed_digits(digits.substr(0, 4)));
    return civil_to_posix({year, pair_or(digits, 4, 1), pair_or(digits, 6, 1), pair_or(digits, 8, 0),
                           pair_or(digits, 10, 0), pair_or(digits, 12, 0), 0}, offset);
}

}  // namespace epochsift
