// Batch mode over the whole column, since a verdict weighs the column.
// --infer tallies the values a run at a time and merges the tallies, so the
// column is never held. --by-column reads a file twice: once for the
// verdict, then through the batch pipeline with the verdict's format first.
// A pipe is first copied to an unnamed file in the temporary directory and
// read twice from there, so its records come once the input ends.
#include <algorithm>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/batch.hpp"
#include "cli/record_splitter.hpp"
#include "cli/report.hpp"
#include "cli/verdict_table.hpp"
#include "core/ascii_scan.hpp"
#include "core/text_trim.hpp"
#include "engine/column.hpp"
#include "engine/column_selectivity.hpp"
#include "output/column_json.hpp"

namespace epochsift::cli {

namespace {

constexpr std::size_t READ_SIZE = 1 << 16;

struct ReadOutcome {
    int read_errno = 0;
    uint64_t lines = 0;
    uint64_t problems = 0;
    uint64_t first_problem = 0;
};

// Reads the column to its end, handing on each value; with report_lines,
// each line without one gets a message.
template <typename OnValue>
ReadOutcome read_column(const BatchStreams& streams, const BatchSettings& settings, bool report_lines,
                        OnValue on_value) {
    const RecordFormat& format = settings.format;
    RecordSplitter splitter(SplitterSettings{
        .quoted_fields = format.column != 0,
        .delimiter = format.delimiter,
        .max_record = settings.max_line,
    });
    ReadOutcome outcome;
    std::string const name(streams.input_name);
    std::string buffer(READ_SIZE, '\0'), record, scratch;
    // A record's text; a whole line's is known to be UTF-8 when its piece is all ASCII.
    auto const take = [&](const RecordEnd& end, std::string_view text, bool ascii) {
        ++outcome.lines;
        std::string what;
        if (end.overlong) {
            what = "line longer than " + std::to_string(settings.max_line) + " bytes, skipped (--max-line)";
        } else if (ascii && format.column == 0) {
            on_value(text);
            return;
        } else {
            LineValue const found = value_of(text, format, scratch);
            if (found.value) {
                on_value(*found.value);
                return;
            }
            what = found.what;
        }
        if (outcome.problems++ == 0) outcome.first_problem = end.line;
        if (report_lines) write_all(streams.messages, message_line(name + ':' + std::to_string(end.line) + ": " + what));
    };
    auto const add = [&](const RecordEnd& end) {
        take(end, record, false);
        record.clear();
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
        // Lines whole in the piece are looked at where they lie, not copied.
        bool const ascii = format.column == 0 && all_ascii(piece);
        for (;;) {
            splitter.whole_lines(piece, [&](const RecordEnd& end, std::string_view text) { take(end, text, ascii); });
            auto const end = splitter.next(piece, record);
            if (!end) break;
            add(*end);
        }
    }
}

// The column's verdict built as the values arrive: a run's tallies are
// merged into the column's, so memory does not grow with the column. A
// column shorter than one run gets exactly identify_column's verdicts; over
// several runs only a score's last bits may differ (sums taken in another
// order).
class RunningVerdict {
public:
    // threads: how many may tally a run, each a share of the families.
    explicit RunningVerdict(const ReadOptions& options, DigitsAsBytes digits_as_bytes = DigitsAsBytes::Yes,
                            unsigned threads = 1)
        : options_(options), digits_as_bytes_(digits_as_bytes), threads_(threads), merged_(column_tally_count()) {}

    void add(std::string_view value) {
        text_ += value;
        ends_.push_back(text_.size());
        if (ends_.size() >= RUN_VALUES || text_.size() >= RUN_BYTES) tally_run();
    }

    std::vector<ColumnVerdict> verdicts() {
        tally_run();
        return column_verdicts(merged_, options_);
    }

private:
    static constexpr std::size_t RUN_VALUES = 1 << 16;
    static constexpr std::size_t RUN_BYTES = 4 << 20;

    void tally_run() {
        if (ends_.empty()) return;
        std::vector<std::string_view> views;
        views.reserve(ends_.size());
        std::size_t start = 0;
        for (std::size_t const end : ends_) {
            views.emplace_back(text_.data() + start, end - start);
            start = end;
        }
        std::vector<ColumnTally> const run = tallies(views);
        for (std::size_t i = 0; i < merged_.size(); ++i) merge_column_tally(merged_[i], run[i]);
        text_.clear();
        ends_.clear();
    }

    // The run's tallies, its families shared among the threads: each row is
    // taken from the share that tallied it, the same bits as one thread's.
    std::vector<ColumnTally> tallies(std::span<const std::string_view> views) const {
        std::size_t const shares = std::min<std::size_t>(threads_, MOST_SHARES);
        if (shares < 2 || views.size() < FEWEST_SHARED) return column_tallies(views, options_, digits_as_bytes_);
        std::vector<std::vector<ColumnTally>> parts(shares);
        std::vector<std::exception_ptr> failures(shares);
        {
            std::vector<std::jthread> helpers;
            for (std::size_t k = 1; k < shares; ++k) {
                try {
                    helpers.emplace_back([&, k] {
                        try {
                            parts[k] = column_tallies(views, options_, digits_as_bytes_, TallyShare{k, shares});
                        } catch (...) {
                            failures[k] = std::current_exception();
                        }
                    });
                } catch (const std::system_error&) {
                    break;  // no thread to be had: the shares left are tallied here
                }
            }
            for (std::size_t k = helpers.size() + 1; k < shares; ++k) {
                parts[k] = column_tallies(views, options_, digits_as_bytes_, TallyShare{k, shares});
            }
            parts[0] = column_tallies(views, options_, digits_as_bytes_, TallyShare{0, shares});
        }  // the helpers are joined here
        for (std::exception_ptr const& failure : failures) {
            if (failure) std::rethrow_exception(failure);
        }
        std::vector<ColumnTally> run = std::move(parts[0]);
        for (std::size_t row = 0; row < run.size(); ++row) {
            for (std::size_t k = 1; k < shares; ++k) {
                if (tally_share_owns(row, TallyShare{k, shares})) run[row] = parts[k][row];
            }
        }
        return run;
    }

    // Past a few threads each share is too small to pay for its thread; a
    // short run is tallied faster than a thread starts.
    static constexpr std::size_t MOST_SHARES = 4;
    static constexpr std::size_t FEWEST_SHARED = 4096;

    const ReadOptions& options_;
    DigitsAsBytes digits_as_bytes_;
    unsigned threads_;
    std::vector<ColumnTally> merged_;
    std::string text_;
    std::vector<std::size_t> ends_;
};

// The values a --by-column verdict weighs: spread evenly over the column,
// taken as they arrive without knowing its length. Every value is kept
// until there are 2 × SAMPLE; then every other one kept is dropped and
// the stride doubles, so the kept values stay evenly spaced, between
// SAMPLE and 2 × SAMPLE of them. A column of up to 2 × SAMPLE values (one
// run of RunningVerdict) weighs every value.
class SampledColumn {
public:
    static constexpr std::size_t SAMPLE = 1 << 15;

    void add(std::string_view value) {
        if ((seen_++ & (stride_ - 1)) != 0) return;  // the stride is a power of two
        kept_.emplace_back(value);
        if (kept_.size() < 2 * SAMPLE) return;
        for (std::size_t i = 0; i < SAMPLE; ++i) kept_[i] = std::move(kept_[2 * i]);
        kept_.resize(SAMPLE);
        stride_ *= 2;
    }

    std::vector<ColumnVerdict> verdicts(const ReadOptions& options, unsigned threads) const {
        // Digits alone read as bytes weigh in a verdict only beside a value
        // written as bytes: in a column of digits alone they change nothing,
        // and reading them would cost more than the numbers themselves.
        bool const all_digits = std::all_of(kept_.begin(), kept_.end(), [](const std::string& value) {
            std::string_view const text = trim_white_space(value);
            return !text.empty() && all_ascii_digits(text);
        });
        RunningVerdict running(options, all_digits ? DigitsAsBytes::No : DigitsAsBytes::Yes, threads);
        for (std::string const& value : kept_) running.add(value);
        return running.verdicts();
    }

private:
    std::vector<std::string> kept_;
    uint64_t seen_ = 0;
    uint64_t stride_ = 1;
};

// The verdict's tables built on another thread while the column is first
// read, where the run may use more than one: the first tally would
// otherwise build them while every other thread waits. Joined on leaving.
std::jthread prepare_tables(const BatchSettings& settings) {
    if (settings.threads < 2) return {};
    try {
        return std::jthread(prepare_column_selectivity);
    } catch (const std::system_error&) {
        return {};  // no thread to be had: the first tally builds them
    }
}

bool seekable_file(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::lseek(fd, 0, SEEK_CUR) >= 0;
}

// The closing message and status of --infer, which read outcome's lines.
int finish(const BatchStreams& streams, const ReadOutcome& outcome, bool written) {
    std::string const name(streams.input_name);
    if (!written) {
        if (errno != EPIPE) report(streams.messages, std::string("cannot write the output: ") + std::strerror(errno));
        return EXIT_FAILED;
    }
    if (outcome.problems != 0) {
        report(streams.messages, name + ": " + std::to_string(outcome.problems) + " of " + std::to_string(outcome.lines) +
                                     " lines could not be read (first: line " + std::to_string(outcome.first_problem) +
                                     "); the verdicts leave them out");
        return EXIT_LINES_UNREAD;
    }
    return EXIT_DONE;
}

int read_failed(const BatchStreams& streams, int read_errno) {
    report(streams.messages, "cannot read " + std::string(streams.input_name) + ": " + std::strerror(read_errno));
    return EXIT_USAGE;
}

int infer(const BatchStreams& streams, const BatchSettings& settings) {
    std::jthread const tables = prepare_tables(settings);
    RunningVerdict running(settings.format.read, DigitsAsBytes::Yes, settings.threads);
    uint64_t values = 0;
    ReadOutcome const read = read_column(streams, settings, true, [&](std::string_view value) {
        running.add(value);
        ++values;
    });
    if (read.read_errno != 0) return read_failed(streams, read.read_errno);
    std::vector<ColumnVerdict> const verdicts = running.verdicts();
    std::string out;
    if (settings.json) {
        append_json_verdicts(out, verdicts);
        out += '\n';
    } else {
        append_verdict_table(out, verdicts, values);
    }
    return finish(streams, read, write_all(streams.output, out));
}

// A file: the verdict from a first reading (over values spread evenly
// through the column, all of them up to 65,536), then the records through the
// batch pipeline, every core, in bounded memory. Lines that cannot be read
// are reported by the second reading only. Should the file grow in between,
// the lines added get records but did not weigh in the verdict.
int by_column_from_file(const BatchStreams& streams, const BatchSettings& settings) {
    std::jthread tables = prepare_tables(settings);
    SampledColumn sample;
    ReadOutcome const read = read_column(streams, settings, false, [&](std::string_view value) { sample.add(value); });
    if (read.read_errno != 0) return read_failed(streams, read.read_errno);
    std::vector<ColumnVerdict> const verdicts = sample.verdicts(settings.format.read, settings.threads);
    if (::lseek(streams.input, 0, SEEK_SET) != 0) return read_failed(streams, errno);
    BatchSettings records = settings;
    records.column_mode = ColumnMode::PerValue;
    if (!verdicts.empty()) {
        records.format.lead_format = verdicts.front().format;
        records.format.lead_order = verdicts.front().byte_order;
        if (!records.format.lead_order) {
            records.format.lead_readers = std::make_shared<const LeadReaders>(verdicts.front().format, records.format.read);
        }
    }
    return run_batch_streams(streams, records);
}

// An unnamed file in $TMPDIR (or /tmp) holding the rest of input, read
// back from its start; -1 with errno set.
int spool(int input) {
    const char* directory = std::getenv("TMPDIR");
    if (directory == nullptr || *directory == '\0') directory = "/tmp";
    int fd = ::open(directory, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without O_TMPFILE: a named file, unlinked at once.
        std::string path = std::string(directory) + "/epochsift-column-XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        ::unlink(path.c_str());
    }
    std::string buffer(READ_SIZE, '\0');
    for (;;) {
        ssize_t const count = ::read(input, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count == 0 && ::lseek(fd, 0, SEEK_SET) == 0) return fd;
        if (count <= 0 || !write_all(fd, std::string_view(buffer.data(), static_cast<std::size_t>(count)))) break;
    }
    int const failure = errno;
    ::close(fd);
    errno = failure;
    return -1;
}

int by_column_from_pipe(const BatchStreams& streams, const BatchSettings& settings) {
    int const copy = spool(streams.input);
    if (copy < 0) {
        report(streams.messages, "cannot copy " + std::string(streams.input_name) + " to a temporary file: " +
                                     std::strerror(errno));
        return EXIT_FAILED;
    }
    BatchStreams from_copy = streams;
    from_copy.input = copy;
    int const status = by_column_from_file(from_copy, settings);
    ::close(copy);
    return status;
}

}  // namespace

int run_column_streams(const BatchStreams& streams, const BatchSettings& settings) {
    try {
        if (settings.column_mode == ColumnMode::Infer) return infer(streams, settings);
        return seekable_file(streams.input) ? by_column_from_file(streams, settings) : by_column_from_pipe(streams, settings);
    } catch (const std::bad_alloc&) {
        report(streams.messages, "out of memory");
        return EXIT_FAILED;
    }
}

}  // namespace epochsift::cli
