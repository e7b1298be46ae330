// Batch mode over the whole column: the values are read to the end first,
// since a verdict weighs every value. The texts are held back to back in
// one buffer with a small row a line; the records of --by-column are then
// written in input order.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cli/batch.hpp"
#include "cli/record_splitter.hpp"
#include "cli/report.hpp"
#include "cli/verdict_table.hpp"
#include "engine/column.hpp"
#include "output/column_json.hpp"

namespace epochsift::cli {

namespace {

constexpr std::size_t READ_SIZE = 1 << 16;
// Output is written whenever this much has gathered.
constexpr std::size_t WRITE_BYTES = 1 << 16;

struct HeldLine {
    std::size_t end;  // where the value ends in HeldColumn::text
    uint64_t line;    // the input line it starts on
    int32_t failure;  // index into HeldColumn::failures, or -1 for a value
};

struct HeldColumn {
    std::string text;  // the values back to back
    std::vector<HeldLine> lines;
    std::vector<std::string> failures;  // the record's error text of each line without a value
    uint64_t values = 0;
};

struct ReadOutcome {
    int read_errno = 0;
    uint64_t problems = 0;
    uint64_t first_problem = 0;
};

ReadOutcome read_column(const BatchStreams& streams, const BatchSettings& settings, HeldColumn& held) {
    const RecordFormat& format = settings.format;
    RecordSplitter splitter(SplitterSettings{
        .quoted_fields = format.column != 0,
        .delimiter = format.delimiter,
        .max_record = settings.max_line,
    });
    ReadOutcome outcome;
    std::string const name(streams.input_name);
    std::string buffer(READ_SIZE, '\0'), record, scratch;
    auto const add = [&](const RecordEnd& end) {
        std::string error, what;
        if (end.overlong) {
            error = "line longer than " + std::to_string(settings.max_line) + " bytes";
            what = error + ", skipped (--max-line)";
        } else {
            LineValue const found = value_of(record, format, scratch);
            if (found.value) {
                held.text += *found.value;
                held.lines.push_back(HeldLine{held.text.size(), end.line, -1});
                ++held.values;
                record.clear();
                return;
            }
            error = found.error;
            what = found.what;
        }
        record.clear();
        held.lines.push_back(HeldLine{held.text.size(), end.line, static_cast<int32_t>(held.failures.size())});
        held.failures.push_back(std::move(error));
        if (outcome.problems++ == 0) outcome.first_problem = end.line;
        write_all(streams.messages, message_line(name + ':' + std::to_string(end.line) + ": " + what));
    };
    for (;;) {
        ssize_t const count = ::read(streams.input, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            outcome.read_errno = errno;
            return outcome;
        }
        if (count == 0) {
            if (auto const end = splitter.finish(record)) add(*end);
            return outcome;
        }
        std::string_view piece(buffer.data(), static_cast<std::size_t>(count));
        while (auto const end = splitter.next(piece, record)) add(*end);
    }
}

std::vector<std::string_view> value_views(const HeldColumn& held) {
    std::vector<std::string_view> views;
    views.reserve(held.values);
    std::size_t start = 0;
    for (const HeldLine& line : held.lines) {
        if (line.failure < 0) views.emplace_back(held.text.data() + start, line.end - start);
        start = line.end;
    }
    return views;
}

// The records in input order; false with errno set when a write fails.
bool write_records(int output, const HeldColumn& held, RecordFormat format) {
    std::string out;
    if (format.output == BatchOutput::BestCsv) out += CSV_HEADER;
    std::string problem, scratch;
    format.column = 0;  // the held texts are the values themselves
    std::size_t start = 0;
    for (const HeldLine& line : held.lines) {
        std::string_view const value(held.text.data() + start, line.end - start);
        start = line.end;
        if (line.failure >= 0) append_failure(out, held.failures[static_cast<std::size_t>(line.failure)], line.line, format);
        else append_record(out, problem, value, line.line, format, scratch);
        if (out.size() >= WRITE_BYTES) {
            if (!write_all(output, out)) return false;
            out.clear();
        }
    }
    return write_all(output, out);
}

}  // namespace

int run_column_streams(const BatchStreams& streams, const BatchSettings& settings) {
    try {
        HeldColumn held;
        ReadOutcome const read = read_column(streams, settings, held);
        std::string const name(streams.input_name);
        if (read.read_errno != 0) {
            report(streams.messages, "cannot read " + name + ": " + std::strerror(read.read_errno));
            return EXIT_USAGE;
        }
        std::vector<std::string_view> const views = value_views(held);
        std::vector<ColumnVerdict> const verdicts = identify_column(views, settings.format.read);
        bool written = true;
        if (settings.column_mode == ColumnMode::Infer) {
            std::string out;
            if (settings.json) {
                append_json_verdicts(out, verdicts);
                out += '\n';
            } else {
                append_verdict_table(out, verdicts, held.values);
            }
            written = write_all(streams.output, out);
        } else {
            RecordFormat format = settings.format;
            format.lead_format = verdicts.empty() ? std::string_view() : verdicts.front().format_id;
            written = write_records(streams.output, held, format);
        }
        if (!written) {
            if (errno != EPIPE) report(streams.messages, std::string("cannot write the output: ") + std::strerror(errno));
            return EXIT_FAILED;
        }
        if (read.problems != 0) {
            report(streams.messages, name + ": " + std::to_string(read.problems) + " of " +
                                         std::to_string(held.lines.size()) + " lines could not be read (first: line " +
                                         std::to_string(read.first_problem) + ")" +
                                         (settings.column_mode == ColumnMode::Infer ? "; the verdicts leave them out"
                                                                                    : "; their records carry the error"));
            return EXIT_LINES_UNREAD;
        }
        return EXIT_DONE;
    } catch (const std::bad_alloc&) {
        report(streams.messages, "out of memory");
        return EXIT_FAILED;
    }
}

}  // namespace epochsift::cli
