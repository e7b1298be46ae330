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
#include <span>
#include <string>

#include "cli/batch.hpp"
#include "cli/options.hpp"
#include "cli/report.hpp"
#include "cli/table.hpp"
#include "cli/terminal.hpp"
#include "cli/utf8.hpp"
#include "engine/identify.hpp"
#include "output/reading_json.hpp"

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

int show_values(const CliOptions& options) {
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
            if (options.mode == Mode::Json) {
                out = epochsift::identify_json(value);
                out += '\n';
            } else {
                if (i != 0) out += '\n';
                append_table(out, value, epochsift::identify(value), style);
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
