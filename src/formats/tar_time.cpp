#include "formats/tar_time.hpp"

namespace epochsift {

namespace {

constexpr std::size_t TAR_MTIME_DIGITS = 11;
constexpr int64_t TAR_MTIME_LIMIT = int64_t{1} << (3 * TAR_MTIME_DIGITS);  // 8^11

}  // namespace

std::optional<PosixNs> parse_tar_mtime(std::string_view text) {
    if (text.size() != TAR_MTIME_DIGITS) return std::nullopt;
    int64_t seconds = 0;  // at most 8^11 − 1 < 2^33
    for (char c : text) {
        if (c < '0' || c > '7') return std::nullopt;
        seconds = seconds * 8 + (c - '0');
    }
    return PosixNs::from_seconds(seconds);
}

std::optional<std::string> write_tar_mtime(PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (seconds < 0 || seconds >= TAR_MTIME_LIMIT) return std::nullopt;
    std::string text(TAR_MTIME_DIGITS, '0');
    auto value = static_cast<int64_t>(seconds);
    for (std::size_t i = TAR_MTIME_DIGITS; i-- > 0 && value != 0; value /= 8) text[i] = static_cast<char>('0' + value % 8);
    return text;
}

}  // namespace epochsift
