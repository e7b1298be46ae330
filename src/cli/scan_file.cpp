#include "cli/scan_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "cli/batch.hpp"
#include "cli/report.hpp"
#include "cli/safe_text.hpp"
#include "cli/terminal.hpp"
#include "engine/scan_buffer.hpp"
#include "output/json_number.hpp"
#include "output/scan_hits.hpp"

namespace epochsift::cli {

namespace {

// Reads until `size` bytes or the end; false on a read error.
bool read_full(int fd, uint8_t* into, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        ssize_t const n = ::read(fd, into + got, size - got);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::string hex_offset(uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(offset));
    return text;
}

void append_table_header(std::string& out) {
    out += "offset      width  order   confidence  format           rendered                          record\n";
}

void append_table_row(std::string& out, const ScanRow& row) {
    char line[256];
    std::string const rendered(row.rendered ? row.rendered->view() : std::string_view("-"));
    std::snprintf(line, sizeof line, "%-10s  %5u  %-6s  %10.2f  %-15.*s  %-32s", hex_offset(row.offset).c_str(),
                  static_cast<unsigned>(row.width), std::string(row.order.value_or("-")).c_str(), row.confidence,
                  static_cast<int>(row.format_id.size()), row.format_id.data(), rendered.c_str());
    std::string_view cells(line);
    if (row.record != row.offset) {
        out += cells;
        out += "  +";
        out += hex_offset(row.record);
    } else {
        // A row outside a record ends at its last cell, with no padding after it.
        out += cells.substr(0, cells.find_last_not_of(' ') + 1);
    }
    out += '\n';
}

// A line on stderr, redrawn a few times a second, on a terminal only.
class ScanProgress {
public:
    ScanProgress(bool enabled, uint64_t total) : enabled_(enabled), total_(total) {}
    void update(uint64_t done, uint64_t hits) {
        if (!enabled_) return;
        auto const now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        double const seconds = std::chrono::duration<double>(now - start_).count();
        double const rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0;
        if (total_ > 0) {
            std::fprintf(stderr, "\r\x1b[Kepochsift: %5.1f%%  %llu hits  %.0f MB/s", 100.0 * done / total_,
                         static_cast<unsigned long long>(hits), rate);
        } else {
            std::fprintf(stderr, "\r\x1b[Kepochsift: %llu MB  %llu hits  %.0f MB/s",
                         static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(hits), rate);
        }
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fputs("\r\x1b[K", stderr);
        drawn_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool drawn_ = false;
    uint64_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
};

std::string plan_error_text(const ScanPlanResult& planned) {
    switch (planned.error) {
    case ScanPlanError::UnknownFormat: return "--formats: no format '" + printable(planned.offending) + "'";
    case ScanPlanError::BadWidth: return "--width: no family or record is stored at that width";
    case ScanPlanError::EmptyWindow: return "--window: the start must come before the end";
    case ScanPlanError::NothingToScan: return "the formats and width given leave nothing to scan";
    }
    return "nothing to scan";
}

}  // namespace

int run_scan(const ScanSettings& settings) {
    ScanPlanResult const planned = make_scan_plan(settings.request);
    if (!planned.plan) {
        report(STDERR_FILENO, plan_error_text(planned));
        return EXIT_USAGE;
    }
    ScanPlan const& plan = *planned.plan;
    bool const from_stdin = settings.path.empty() || settings.path == "-";
    std::string const name = from_stdin ? std::string("-") : std::string(settings.path);
    int const fd = from_stdin ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report(STDERR_FILENO, "cannot open " + printable(name) + ": " + std::strerror(errno));
        return EXIT_USAGE;
    }
    struct stat info {};
    uint64_t const total = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    ScanProgress progress(is_terminal(STDERR_FILENO), total);

    std::size_t const context = scan_context_bytes(plan);
    unsigned const threads = std::max(1u, settings.threads);
    // The window: the context before the round, the round's chunks, and the
    // context after them, read ahead.
    std::vector<uint8_t> window;
    std::size_t held_before = 0;  // bytes of context kept from the last round
    uint64_t window_base = 0;     // input offset of window[0]
    bool ended = false;
    std::string out;
    if (settings.output == ScanOutput::Table) append_table_header(out);
    if (settings.output == ScanOutput::Csv) append_scan_csv_header(out);
    uint64_t shown = 0;
    std::optional<ScanHit> previous;
    std::size_t pending = 0;  // bytes read ahead beyond the last round's end (its after-context)

    while (true) {
        // Fill: keep the before-context and the read-ahead, then read the
        // round's chunks and the next context.
        std::size_t const want = threads * SCAN_CHUNK_BYTES + context;
        std::size_t const have = held_before + pending;
        window.resize(have + want);
        std::size_t got = 0;
        if (!ended) {
            std::size_t const need = want > pending ? want - pending : 0;
            if (!read_full(fd, window.data() + have, need, got)) {
                progress.clear();
                report(STDERR_FILENO, "cannot read " + printable(name) + ": " + std::strerror(errno));
                return EXIT_USAGE;
            }
            if (got < need) ended = true;
        }
        window.resize(have + got);
        std::size_t const body_end = ended ? window.size() : window.size() - context;  // offsets this round owns
        if (body_end <= held_before) break;
        std::size_t const chunks = (body_end - held_before + SCAN_CHUNK_BYTES - 1) / SCAN_CHUNK_BYTES;
        std::vector<std::vector<ScanHit>> parts(chunks);
        std::span<const uint8_t> const bytes(window);
        auto const scan_one = [&](std::size_t c) {
            std::size_t const begin = held_before + c * SCAN_CHUNK_BYTES;
            std::size_t const end = std::min(body_end, begin + SCAN_CHUNK_BYTES);
            std::size_t const from = begin >= context ? begin - context : 0;
            std::size_t const to = std::min(bytes.size(), end + context);
            scan_block(plan, bytes.subspan(from, to - from), begin - from, end - from, window_base + from,
                       settings.all, parts[c]);
        };
        std::vector<std::thread> helpers;
        for (std::size_t c = 1; c < chunks; ++c) {
            try {
                helpers.emplace_back(scan_one, c);
            } catch (const std::system_error&) {
                scan_one(c);  // no thread: this one scans it
            }
        }
        scan_one(0);
        for (std::thread& t : helpers) t.join();

        std::vector<ScanHit> hits;
        for (auto& part : parts) hits.insert(hits.end(), part.begin(), part.end());
        settle_hits(plan, hits, previous ? &*previous : nullptr);
        for (ScanHit const& hit : hits) {
            if (!settings.all && !hit.shown) continue;
            ScanRow const row = scan_row(plan, hit);
            switch (settings.output) {
            case ScanOutput::Table: append_table_row(out, row); break;
            case ScanOutput::JsonLines: append_scan_json_line(out, row); break;
            case ScanOutput::Csv: append_scan_csv_row(out, row); break;
            }
            if (hit.shown) {
                ++shown;
                previous = hit;
            }
            if (out.size() > (1u << 16)) {
                if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return EXIT_FAILED;
                out.clear();
            }
        }
        progress.update(window_base + body_end, shown);
        if (ended) break;
        // Keep the context before the next round and the bytes read ahead.
        std::size_t const keep_from = body_end - std::min(body_end, context);
        window_base += keep_from;
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(keep_from));
        held_before = body_end - keep_from;
        pending = window.size() - held_before;
    }
    progress.clear();
    if (fd != STDIN_FILENO) ::close(fd);
    if (settings.output == ScanOutput::Table) {
        out += std::to_string(shown) + " timestamps shown";
        out += settings.all ? " (and every raw hit)\n" : " (--all for every raw hit)\n";
    }
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return EXIT_FAILED;
    return std::fflush(stdout) == 0 ? EXIT_DONE : EXIT_FAILED;
}

}  // namespace epochsift::cli
