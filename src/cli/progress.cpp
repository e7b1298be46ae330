#include "cli/progress.hpp"

#include <cstdio>

namespace epochsift::cli {

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);

}  // namespace

std::string time_left(uint64_t bytes_done, uint64_t total_bytes, double seconds) {
    if (bytes_done == 0 || total_bytes <= bytes_done || seconds <= 0) return {};
    // The rest of the file at the pace so far.
    double const rest = seconds * static_cast<double>(total_bytes - bytes_done) / static_cast<double>(bytes_done);
    auto const whole = static_cast<unsigned long long>(rest + 0.5);
    char text[48];
    if (whole >= 3600) std::snprintf(text, sizeof text, "  %lluh%02llum left", whole / 3600, whole / 60 % 60);
    else if (whole >= 60) std::snprintf(text, sizeof text, "  %llum%02llus left", whole / 60, whole % 60);
    else std::snprintf(text, sizeof text, "  %llus left", whole);
    return text;
}

namespace {

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
    std::string const left = time_left(bytes_done, total_bytes_, seconds);
    std::fprintf(stderr, "\r\x1b[Kepochsift: %5.1f%%  %llu rows  %.0f rows/s%s", percent,
                 static_cast<unsigned long long>(lines_done), rate, left.c_str());
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
