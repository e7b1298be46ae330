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
#include "cli/help_text.hpp"
#include "cli/options.hpp"
#include "cli/report.hpp"
#include "cli/safe_text.hpp"
#include "cli/scan_file.hpp"
#include "cli/table.hpp"
#include "cli/terminal.hpp"
#include "cli/utf8.hpp"
#include "core/text_trim.hpp"
#include "formats/hex_bytes.hpp"
#include "formats/wall_clock_text.hpp"
#include "engine/encode.hpp"
#include "engine/encode_zoned.hpp"
#include "engine/hint_words.hpp"
#include "engine/instant_text.hpp"
#include "engine/request.hpp"
#include "output/encoded_json.hpp"
#include "output/reading_json.hpp"
#include "output/zoned_json.hpp"

#ifndef EPOCHSIFT_VERSION
#error "EPOCHSIFT_VERSION comes from pyproject.toml through CMake"
#endif

namespace {

using namespace epochsift::cli;

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
ZoneColumns zone_columns(const epochsift::Readings& readings, const Zones& zones) {
    ZoneColumns columns;
    if (zones.display) columns.header = "local (" + std::string(zones.display->name()) + ")";
    for (const epochsift::ReadingZones& zoned : readings.zones) {
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

// What the --hint words named: the families each word matched, and the
// words that matched none. One line for standard error.
std::string hint_report(std::string_view hint, bool extended) {
    std::vector<epochsift::HintWord> const words =
        extended ? epochsift::hint_words(hint) : epochsift::reference_hint_words(hint);
    std::string text = "--hint:";
    if (words.empty()) {
        return text + (extended ? " no word of two or more letters or digits" : " no word of three or more letters or digits") +
               ": the hint names no format";
    }
    bool any = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const epochsift::HintWord& word = words[i];
        text += i == 0 ? " \"" : "; \"";
        text += printable(word.word);
        text += "\" ";
        if (word.generic) {
            text += "is generic (no evidence)";
            continue;
        }
        if (word.families.empty()) {
            text += "names no format";
            continue;
        }
        any = true;
        text += "names ";
        for (std::size_t f = 0; f < word.families.size(); ++f) {
            if (f != 0) text += ", ";
            text += word.families[f]->id;
        }
    }
    if (!any) text += extended ? " (left out of the scores)" : " (every family scores as unmatched)";
    return text;
}

// A syslog date has no year: only --window can give it one.
constexpr std::string_view SYSLOG_YEAR_NOTE =
    "(a syslog date has no year: give it with --window, e.g. --window 2023, or a span that holds the date once"
    " such as --window 2023-06..2024-05)\n";

bool lacks_a_year(std::string_view value, std::span<const epochsift::Candidate> readings) {
    // Any year holds a valid syslog date: 2000 is a leap year, so Feb 29 too.
    constexpr epochsift::PosixNs Y2000{epochsift::i128{946'684'800} * epochsift::NS_PER_SECOND};
    constexpr epochsift::PosixNs Y2001{epochsift::i128{978'307'200} * epochsift::NS_PER_SECOND};
    if (!epochsift::parse_syslog(epochsift::trim_white_space(value), Y2000, Y2001)) return false;
    static const std::optional<epochsift::FormatRef> syslog = epochsift::find_format("syslog");
    return std::none_of(readings.begin(), readings.end(),
                        [](const epochsift::Candidate& r) { return r.format == syslog; });
}

// The instant of WHEN: RFC 3339 text, integer nanoseconds, or now.
std::optional<epochsift::PosixNs> instant_of(std::string_view when) {
    if (when == "now") {
        auto const since_epoch = std::chrono::system_clock::now().time_since_epoch();
        return epochsift::PosixNs{std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count()};
    }
    return epochsift::parse_instant(when);
}

// WHEN as a wall-clock time of the local zone (an RFC 3339 date-time without
// its offset), with a message when the zone skips or repeats it.
struct LocalWhen {
    std::optional<epochsift::PosixNs> instant;
    std::string message;
};

LocalWhen local_instant_of(std::string_view when, const epochsift::TimeZone& zone) {
    LocalWhen out;
    if (when.empty() || when.back() == 'Z' || when.back() == 'z') return out;
    auto const wall = epochsift::parse_instant(std::string(when) + "Z");  // the wall clock counted as UTC
    if (!wall) return out;
    auto const found = zone.instants_of(*wall);
    if (!found) return out;
    out.instant = found->first_instant;
    std::string const name(zone.name());
    if (found->kind == epochsift::WallClockKind::Gap) {
        out.message = std::string(when) + " is skipped in " + name +
                      " (a forward shift); encoded with the offset in force before it, as " +
                      found->first_instant.to_rfc3339().value_or("?");
    } else if (found->kind == epochsift::WallClockKind::Fold && found->second_instant) {
        out.message = std::string(when) + " occurs twice in " + name + " (a backward shift); encoded the earlier, " +
                      found->first_instant.to_rfc3339().value_or("?") + "; the later is " +
                      found->second_instant->to_rfc3339().value_or("?");
    }
    return out;
}

int show_encoding(const CliOptions& options) {
    Zones const zones = find_zones(options);
    if (!zones.error.empty()) return fail_usage(zones.error);
    auto instant = instant_of(*options.encode);
    std::string message;
    if (!instant && zones.local_zone) {
        LocalWhen const local = local_instant_of(*options.encode, *zones.local_zone);
        instant = local.instant;
        message = local.message;
    }
    if (!instant) {
        return fail_usage(std::string("--encode takes RFC 3339 text, integer nanoseconds since 1970 or now") +
                          (zones.local_zone ? ", or a date-time without offset in the --local-zone" : "") +
                          "; got '" + std::string(*options.encode) + "'");
    }
    // The wall-clock families are written in --tz's wall clock, else --local-zone's.
    const epochsift::TimeZone* wall_zone = zones.display ? &*zones.display
                                           : zones.local_zone ? &*zones.local_zone
                                                              : nullptr;
    std::vector<epochsift::Encoded> encoded;
    std::string wall_text;
    if (wall_zone != nullptr) {
        auto zoned = epochsift::encode_in_zone(*instant, *wall_zone);
        if (!zoned) return fail_usage("--encode: the instant has no wall clock in " + std::string(wall_zone->name()));
        encoded = std::move(zoned->encoded);
        wall_text = std::string(wall_zone->name()) + " " + epochsift::offset_text(zoned->wall.offset_seconds) + " " +
                    zoned->wall.abbreviation;
    } else {
        encoded = epochsift::encode(*instant);
    }
    if (!message.empty()) report(STDERR_FILENO, message);
    std::string out;
    if (options.json) {
        out = epochsift::encoded_json(encoded, *instant, wall_text);
        out += '\n';
    } else {
        append_encode_table(out, *instant, encoded, wall_text);
    }
    write_out(out);
    return finish_output();
}

int show_values(const CliOptions& options) {
    Zones const zones = find_zones(options);
    if (!zones.error.empty()) return fail_usage(zones.error);
    if (auto const hint = options.read.context.artifact_hint) {
        report(STDERR_FILENO, hint_report(hint->text(), options.read.extended));
    }
    for (std::size_t i = 0; i < options.values.size(); ++i) {
        if (!is_valid_utf8(options.values[i])) {
            return fail_usage("value " + std::to_string(i + 1) + " is not valid UTF-8");
        }
    }
    TableStyle const style{.all = options.all,
                           .notes = options.notes,
                           .colour = colour_wanted(STDOUT_FILENO),
                           .label_width = DEFAULT_LABEL_WIDTH,
                           .width = output_columns(STDOUT_FILENO)};

    std::string out;
    for (std::size_t i = 0; i < options.values.size(); ++i) {
        std::string_view const value = options.values[i];
        out.clear();
        try {
            // Extended unless --reference; with default options identify_json(value) exactly.
            epochsift::Request request = epochsift::Request::of_text(value, options.read);
            request.read.zones = zones.options();
            // Bytes: --endian names their order; otherwise each reading states the order it assumed.
            std::optional<epochsift::ByteString> bytes;
            if (options.hex) {
                bytes = epochsift::parse_hex_bytes(epochsift::trim_white_space(value), true);
                if (!bytes) return fail_usage("value " + std::to_string(i + 1) + " is not 1 to 16 hex bytes");
                request.bytes = bytes->view();
            }
            epochsift::Readings const readings = epochsift::read(request);
            if (options.mode == Mode::Json) {
                epochsift::append_json_readings(out, readings);
                out += '\n';
            } else {
                if (i != 0) out += '\n';
                if (zones.any()) {
                    ZoneColumns const columns = zone_columns(readings, zones);
                    append_table(out, value, readings.ranked, style, &columns);
                } else {
                    append_table(out, value, readings.ranked, style);
                    if (!bytes && options.read.extended && lacks_a_year(value, readings.ranked)) {
                        out += SYSLOG_YEAR_NOTE;
                    }
                }
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
    Zones const zones = find_zones(options);
    if (!zones.error.empty()) return fail_usage(zones.error);
    if (auto const hint = options.read.context.artifact_hint) {
        report(STDERR_FILENO, hint_report(hint->text(), options.read.extended));
    }
    BatchSettings settings;
    settings.path = options.values.empty() ? std::string_view() : options.values.front();
    bool const rows = !options.every && !options.best && !options.infer && !options.by_column;
    settings.format.output = options.best  ? BatchOutput::BestCsv
                             : !rows       ? BatchOutput::JsonLines
                             : options.json ? BatchOutput::RowsJson
                                            : BatchOutput::Rows;
    settings.format.best = options.best.value_or(1);
    settings.format.column = options.column.value_or(0);
    settings.format.delimiter = options.delimiter.value_or(",");
    settings.threads = options.threads.value_or(available_cores());
    settings.max_line = options.max_line.value_or(DEFAULT_MAX_LINE);
    settings.format.read = options.read;
    settings.format.read.zones = zones.options();  // zones outlives the run
    if (settings.format.output == BatchOutput::BestCsv) {
        settings.format.best_readers = std::make_shared<const BestReaders>(settings.format.read, settings.format.best);
    }
    settings.format.fields = options.columns;
    settings.format.header = options.header;
    settings.quiet = options.quiet;
    settings.column_mode = options.infer      ? ColumnMode::Infer
                           : options.by_column ? ColumnMode::ByColumn
                                               : ColumnMode::PerValue;
    settings.json = options.json;
    return run_batch(settings);
}

int run_scan_mode(const CliOptions& options) {
    ScanSettings settings;
    settings.path = options.values.front();
    settings.request.window = options.read.window;
    if (options.read.context.byte_width) settings.request.widths = {*options.read.context.byte_width};
    settings.request.formats = options.formats;
    settings.output = options.json ? ScanOutput::JsonLines : options.csv ? ScanOutput::Csv : ScanOutput::Table;
    settings.all = options.all;
    settings.threads = options.threads.value_or(available_cores());
    return run_scan(settings);
}

// The values of standard input, one a line (LF or CRLF), when no VALUE was
// given; a terminal is not read (the user forgot the value).
std::optional<std::vector<std::string>> values_from_stdin() {
    if (is_terminal(STDIN_FILENO)) return std::nullopt;
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        ssize_t const count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    std::vector<std::string> values;
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t const end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        values.emplace_back(line);
    }
    return values;
}

int run(std::span<char* const> args) {
    ParsedOptions parsed = parse_options(args);
    if (!parsed.error.empty()) return fail_usage(parsed.error);
    std::vector<std::string> piped;
    if (parsed.options.values_from_stdin && parsed.options.mode != Mode::Help) {
        auto values = values_from_stdin();
        if (!values) return fail_usage("no value given (try epochsift --help)");
        piped = std::move(*values);
        for (const std::string& value : piped) parsed.options.values.push_back(value);
        if (piped.empty()) return EXIT_DONE;  // nothing piped, nothing to show
    }
    const CliOptions& options = parsed.options;
    switch (options.mode) {
        case Mode::Help:
            write_out(usage_text());
            return finish_output();
        case Mode::Version:
            write_out("epochsift " EPOCHSIFT_VERSION "\n");
            return finish_output();
        case Mode::Manual:
            write_out(man_page(EPOCHSIFT_VERSION));
            return finish_output();
        case Mode::Completion:
            write_out(completion_script(options.shell));
            return finish_output();
        case Mode::Batch:
            return run_batch_mode(options);
        case Mode::Encode:
            return show_encoding(options);
        case Mode::Scan:
            return run_scan_mode(options);
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
