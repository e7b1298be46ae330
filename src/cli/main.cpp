// epochsift: the command line over the engine. Tables for a few values
// typed by hand, identify_json's text for scripts, and a batch mode for
// whole columns of values.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include <chrono>

#include "cli/batch.hpp"
#include "cli/encode_table.hpp"
#include "cli/options.hpp"
#include "cli/report.hpp"
#include "cli/table.hpp"
#include "cli/terminal.hpp"
#include "cli/utf8.hpp"
#include "core/text_trim.hpp"
#include "engine/identify.hpp"
#include "formats/hex_bytes.hpp"
#include "engine/encode.hpp"
#include "engine/instant_text.hpp"
#include "engine/zoned_readings.hpp"
#include "output/encoded_json.hpp"
#include "output/reading_json.hpp"
#include "output/zoned_json.hpp"

namespace {

using namespace epochsift::cli;

// Room the other columns take on a terminal: rank, score, a typical
// rendered instant and the gaps.
constexpr std::size_t OTHER_COLUMNS_WIDTH = 37;
constexpr std::size_t MIN_LABEL_WIDTH = 20;
constexpr std::size_t MAX_LABEL_WIDTH = 60;

bool write_out(std::string_view text) { return std::fwrite(text.data(), 1, text.size(), stdout) == text.size(); }

int fail_usage(std::string_view message) {
    report(STDERR_FILENO, message);
    return EXIT_USAGE;
}

int finish_output() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return EXIT_DONE;
    if (errno != EPIPE) report(STDERR_FILENO, std::string("cannot write the output: ") + std::strerror(errno));
    return EXIT_FAILED;
}

// The zones the options name, looked up once; a one-line message for an
// unknown one.
struct Zones {
    std::optional<epochsift::TimeZone> display;
    std::optional<epochsift::TimeZone> local_zone;
    std::string error;

    bool any() const { return display || local_zone; }
    epochsift::ZoneChoice options() const {
        return {display ? &*display : nullptr, local_zone ? &*local_zone : nullptr};
    }
};

Zones find_zones(const CliOptions& options) {
    Zones zones;
    for (auto [name, slot, flag] : {std::tuple{options.tz, &zones.display, "--tz"},
                                   std::tuple{options.local_zone, &zones.local_zone, "--local-zone"}}) {
        if (!name) continue;
        *slot = epochsift::TimeZone::find(*name);
        if (!*slot) {
            zones.error = std::string(flag) + ": unknown time zone '" + std::string(*name) +
                          "' (an IANA name such as Europe/Berlin, or an offset such as +05:30)";
            return zones;
        }
    }
    return zones;
}

// The table's zone column and notes for the zoned readings.
ZoneColumns zone_columns(std::span<const epochsift::ZonedReading> readings, const Zones& zones) {
    ZoneColumns columns;
    if (zones.display) columns.header = "local (" + std::string(zones.display->name()) + ")";
    for (const epochsift::ZonedReading& zoned : readings) {
        std::string local;
        if (zoned.display) {
            local = epochsift::local_time_text(*zoned.display).value_or("-") + " " + zoned.display->abbreviation;
        }
        columns.local.push_back(std::move(local));
        columns.notes.push_back(zoned.placement && zones.local_zone
                                    ? epochsift::placement_note(*zoned.placement, zones.local_zone->name())
                                    : std::string());
    }
    return columns;
}

// The instant of WHEN: RFC 3339 text, integer nanoseconds, or now.
std::optional<epochsift::PosixNs> instant_of(std::string_view when) {
    if (when == "now") {
        auto const since_epoch = std::chrono::system_clock::now().time_since_epoch();
        return epochsift::PosixNs{std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count()};
    }
    return epochsift::parse_instant(when);
}

int show_encoding(const CliOptions& options) {
    // A zone named is looked up, as for the values: an unknown one is a usage error.
    if (Zones const zones = find_zones(options); !zones.error.empty()) return fail_usage(zones.error);
    auto const instant = instant_of(*options.encode);
    if (!instant) {
        return fail_usage("--encode takes RFC 3339 text, integer nanoseconds since 1970 or now; got '" +
                          std::string(*options.encode) + "'");
    }
    std::vector<epochsift::Encoded> const encoded = epochsift::encode(*instant);
    std::string out;
    if (options.json) {
        out = epochsift::encoded_json(encoded, *instant);
        out += '\n';
    } else {
        append_encode_table(out, *instant, encoded);
    }
    write_out(out);
    return finish_output();
}

int show_values(const CliOptions& options) {
    Zones const zones = find_zones(options);
    if (!zones.error.empty()) return fail_usage(zones.error);
    for (std::size_t i = 0; i < options.values.size(); ++i) {
        if (!is_valid_utf8(options.values[i])) {
            return fail_usage("value " + std::to_string(i + 1) + " is not valid UTF-8");
        }
    }
    TableStyle style{.all = options.all, .notes = options.notes, .colour = colour_wanted(STDOUT_FILENO)};
    if (auto const columns = terminal_columns(STDOUT_FILENO)) {
        std::size_t const room = *columns > OTHER_COLUMNS_WIDTH ? *columns - OTHER_COLUMNS_WIDTH : 0;
        style.label_width = std::clamp(room, MIN_LABEL_WIDTH, MAX_LABEL_WIDTH);
    }

    std::string out;
    for (std::size_t i = 0; i < options.values.size(); ++i) {
        std::string_view const value = options.values[i];
        out.clear();
        try {
            // Extended unless --reference; with default options identify_json(value) exactly.
            epochsift::ReadOptions const& read = options.read;
            // Bytes: --endian picks the order; otherwise each reading states the order it assumed.
            epochsift::ReadOptions bytes_read = read;
            bytes_read.context.byte_order.reset();
            std::optional<epochsift::ByteOrder> const order = read.context.byte_order;
            std::optional<epochsift::ByteString> bytes;
            if (options.hex) {
                bytes = epochsift::parse_hex_bytes(epochsift::trim_white_space(value), true);
                if (!bytes) return fail_usage("value " + std::to_string(i + 1) + " is not 1 to 16 hex bytes");
            }
            if (zones.any()) {
                std::vector<epochsift::Candidate> readings =
                    bytes ? epochsift::identify_bytes(bytes->view(), bytes_read, order) : epochsift::identify(value, read);
                auto const zoned = epochsift::zoned_readings(std::move(readings), zones.options());
                std::string_view const display = zones.display ? zones.display->name() : std::string_view();
                std::string_view const local = zones.local_zone ? zones.local_zone->name() : std::string_view();
                if (options.mode == Mode::Json) {
                    out = epochsift::zoned_json(zoned, display, local);
                    out += '\n';
                } else {
                    std::vector<epochsift::Candidate> candidates;
                    candidates.reserve(zoned.size());
                    for (const auto& reading : zoned) candidates.push_back(reading.reading);
                    ZoneColumns const columns = zone_columns(zoned, zones);
                    if (i != 0) out += '\n';
                    append_table(out, value, candidates, style, &columns);
                }
            } else if (options.mode == Mode::Json) {
                out = bytes ? epochsift::identify_bytes_json(bytes->view(), bytes_read, order)
                            : epochsift::identify_json(value, read);
                out += '\n';
            } else {
                if (i != 0) out += '\n';
                append_table(out, value,
                             bytes ? epochsift::identify_bytes(bytes->view(), bytes_read, order)
                                   : epochsift::identify(value, read),
                             style);
            }
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& fault) {
            report(STDERR_FILENO, "engine fault on value " + std::to_string(i + 1) + ": " + fault.what());
            return EXIT_FAILED;
        }
        if (!write_out(out)) break;
    }
    return finish_output();
}

int run_batch_mode(const CliOptions& options) {
    BatchSettings settings;
    settings.path = options.values.empty() ? std::string_view() : options.values.front();
    settings.format.output = options.best ? BatchOutput::BestCsv : BatchOutput::JsonLines;
    settings.format.best = options.best.value_or(1);
    settings.format.column = options.column.value_or(0);
    settings.format.delimiter = options.delimiter.value_or(",");
    settings.threads = options.threads.value_or(available_cores());
    settings.max_line = options.max_line.value_or(DEFAULT_MAX_LINE);
    settings.format.read = options.read;
    settings.column_mode = options.infer      ? ColumnMode::Infer
                           : options.by_column ? ColumnMode::ByColumn
                                               : ColumnMode::PerValue;
    settings.json = options.json;
    return run_batch(settings);
}

int run(std::span<char* const> args) {
    ParsedOptions const parsed = parse_options(args);
    if (!parsed.error.empty()) return fail_usage(parsed.error);
    const CliOptions& options = parsed.options;
    switch (options.mode) {
        case Mode::Help:
            write_out(USAGE);
            return finish_output();
        case Mode::Batch:
            return run_batch_mode(options);
        case Mode::Encode:
            return show_encoding(options);
        case Mode::Table:
        case Mode::Json:
            return show_values(options);
    }
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    // argv[0] is the program's name, when the caller gave one.
    std::span<char* const> const args(argv + (argc > 0), argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        report(STDERR_FILENO, "out of memory");
        return EXIT_FAILED;
    }
}
