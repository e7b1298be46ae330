#include "cli/progress.hpp"

#include <cstdio>

namespace epochsift::cli {

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);

}  // namespace

Progress::Progress(bool enabled, uint64_t total_bytes)
    : enabled_(enabled), total_bytes_(total_bytes), start_(Clock::now()), last_draw_(start_) {}

void Progress::update(uint64_t bytes_done, uint64_t lines_done) {
    if (!enabled_) return;
    Clock::time_point const now = Clock::now();
    if (now - last_draw_ < REDRAW_INTERVAL) return;
    last_draw_ = now;
    double const seconds = std::chrono::duration<double>(now - start_).count();
    double const percent = total_bytes_ > 0 ? 100.0 * static_cast<double>(bytes_done) / static_cast<double>(total_bytes_) : 100.0;
    double const rate = seconds > 0 ? static_cast<double>(lines_done) / seconds : 0.0;
    std::fprintf(stderr, "\r\x1b[Kepochsift: %5.1f%%  %llu lines  %.0f lines/s", percent,
                 static_cast<unsigned long long>(lines_done), rate);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace epochsift::cli
