#include "cli/batch.hpp"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/batch_rows.hpp"
#include "cli/progress.hpp"
#include "cli/record_splitter.hpp"
#include "cli/report.hpp"
#include "cli/terminal.hpp"

namespace epochsift::cli {

namespace {

constexpr std::size_t READ_SIZE = 1 << 16;
// A chunk closes at whichever comes first, or when the input pauses. Small
// enough that a chunk's JSON (every reading of every value, about 20 KB for
// a short number) stays around a megabyte, large enough that the locks are
// taken rarely.
constexpr std::size_t CHUNK_LINES = 64;
constexpr std::size_t CHUNK_BYTES = 64 << 10;
// Bytes in flight: the text of chunks not yet processed (with an estimate of
// their output) and the output of chunks not yet written. The reader waits
// while the total is above this, so memory does not grow with the thread
// count or with a consumer that stops reading.
constexpr std::size_t IN_FLIGHT_BYTES = 32 << 20;
constexpr std::size_t OUTPUT_ESTIMATE_PER_LINE = 20 << 10;
// A few CSV rows a value are a hundred bytes or so a line, not the JSON's
// 20 KB: their chunks hold more lines, so the workers take a lock (and wake
// one another) a few times per thousand lines rather than per 64.
constexpr std::size_t FEW_ROWS = 8;
constexpr std::size_t ROWS_CHUNK_LINES = 2048;
constexpr std::size_t ROW_ESTIMATE = 256;
// Address space kept back while the workers start, so that a run that can
// start only some of them still has room for its chunks.
constexpr std::size_t THREAD_START_HEADROOM = 192 << 20;
// How often a reader waiting on a quiet input looks for a cancelled run.
constexpr int QUIET_POLL_MS = 100;

struct LineSpan {
    std::size_t end;  // where the line's text ends in Chunk::text
    uint64_t number;  // the input line it starts on
    bool overlong;
    bool header = false;  // batch rows: the record that names the fields
};

struct Chunk {
    uint64_t sequence = 0;
    uint64_t input_bytes = 0;  // input the chunk covers, line ends included
    std::string text;          // the records back to back, without line ends
    std::vector<LineSpan> lines;
    std::size_t charge = 0;    // bytes counted against IN_FLIGHT_BYTES
    std::string output;
    std::string problems;      // message lines
    uint64_t problem_count = 0;
    uint64_t first_problem_line = 0;
};

// Whether a read would not block: always for files, for a pipe or a
// terminal when data (or its end) is waiting.
bool input_waiting(int fd, int timeout_ms) {
    pollfd poller{.fd = fd, .events = POLLIN, .revents = 0};
    int const ready = ::poll(&poller, 1, timeout_ms);
    return ready != 0;  // an error is left for read to report
}

class Pipeline {
public:
    Pipeline(const BatchStreams& streams, const BatchSettings& settings)
        : streams_(streams), settings_(settings), format_(settings.format) {}

    int run();

private:
    void read_input();
    void read_input_guarded();
    std::unique_ptr<Chunk> submit(std::unique_ptr<Chunk> chunk);
    void work();
    void process(Chunk& chunk) const;
    void cancel();

    bool rows() const { return format_.output == BatchOutput::Rows || format_.output == BatchOutput::RowsJson; }
    bool few_csv_rows() const {
        return format_.output == BatchOutput::BestCsv && format_.best != 0 && format_.best <= FEW_ROWS;
    }
    std::size_t chunk_lines() const { return few_csv_rows() ? ROWS_CHUNK_LINES : CHUNK_LINES; }
    std::size_t output_estimate() const { return few_csv_rows() ? ROW_ESTIMATE * format_.best : OUTPUT_ESTIMATE_PER_LINE; }

    const BatchStreams& streams_;
    const BatchSettings& settings_;
    // The format the workers read with. Batch rows settle the header (and the
    // named fields) on the reader thread before the first chunk is handed on,
    // so every worker sees it settled; nothing changes it afterwards.
    RecordFormat format_;
    bool header_pending_ = true;
    std::string header_error_;  // a named field the header lacks: the run stops
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> out_of_memory_{false};

    // Reader to workers.
    std::mutex work_mutex_;
    std::condition_variable work_ready_;
    std::deque<std::unique_ptr<Chunk>> work_;
    bool input_closed_ = false;

    // Workers to writer, and the writer's hold on the reader.
    std::mutex done_mutex_;
    std::condition_variable done_ready_;
    std::condition_variable room_free_;
    std::map<uint64_t, std::unique_ptr<Chunk>> done_;
    uint64_t submitted_ = 0;
    uint64_t written_ = 0;
    std::size_t in_flight_ = 0;
    bool reader_finished_ = false;
    bool workers_started_ = false;  // the reader allocates nothing before this
    int read_errno_ = 0;
};

void Pipeline::cancel() {
    cancelled_ = true;
    { std::lock_guard lock(done_mutex_); }  // no waiter misses the flag between its check and its wait
    room_free_.notify_all();
    done_ready_.notify_all();
}

// Hands the chunk on and returns a fresh one that takes over the bytes of
// a record not yet ended.
std::unique_ptr<Chunk> Pipeline::submit(std::unique_ptr<Chunk> chunk) {
    std::size_t const complete = chunk->lines.empty() ? 0 : chunk->lines.back().end;
    auto next = std::make_unique<Chunk>();
    next->text.assign(chunk->text, complete);
    chunk->text.resize(complete);
    if (chunk->lines.empty()) return next;
    chunk->charge = chunk->text.size() + chunk->lines.size() * output_estimate();
    {
        std::unique_lock lock(done_mutex_);
        // One chunk always goes, so that a chunk larger than the bound still passes.
        room_free_.wait(lock, [&] { return in_flight_ < IN_FLIGHT_BYTES || submitted_ == written_ || cancelled_; });
        if (cancelled_) return next;
        chunk->sequence = submitted_++;
        in_flight_ += chunk->charge;
    }
    {
        std::lock_guard lock(work_mutex_);
        work_.push_back(std::move(chunk));
    }
    work_ready_.notify_one();
    return next;
}

void Pipeline::read_input() {
    RecordSplitter splitter(SplitterSettings{
        .quoted_fields = rows() ? !format_.fields.empty() : format_.column != 0,
        .delimiter = format_.delimiter,
        .max_record = settings_.max_line,
    });
    std::string buffer(READ_SIZE, '\0');
    auto chunk = std::make_unique<Chunk>();
    auto const add = [&](const RecordEnd& end) {
        bool header = false;
        if (rows() && header_pending_) {
            header_pending_ = false;
            std::size_t const start = chunk->lines.empty() ? 0 : chunk->lines.back().end;
            HeaderOutcome const outcome =
                settle_header(end.overlong ? std::string_view() : std::string_view(chunk->text).substr(start), format_);
            if (!outcome.error.empty()) {
                {
                    std::lock_guard lock(done_mutex_);
                    header_error_ = outcome.error;
                }
                cancel();
                return;
            }
            header = outcome.is_header;
        }
        chunk->lines.push_back(
            LineSpan{.end = chunk->text.size(), .number = end.line, .overlong = end.overlong, .header = header});
        chunk->input_bytes += end.input_bytes;
        if (chunk->lines.size() >= chunk_lines() || chunk->text.size() >= CHUNK_BYTES) chunk = submit(std::move(chunk));
    };

    while (!cancelled_) {
        if (!input_waiting(streams_.input, 0)) {
            // The input paused: what is complete goes out now, not when the chunk fills.
            if (!chunk->lines.empty()) chunk = submit(std::move(chunk));
            while (!cancelled_ && !input_waiting(streams_.input, QUIET_POLL_MS)) {
            }
            if (cancelled_) break;
        }
        ssize_t const count = ::read(streams_.input, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            std::lock_guard lock(done_mutex_);
            read_errno_ = errno;
            break;
        }
        if (count == 0) {
            if (auto const end = splitter.finish(chunk->text)) add(*end);
            break;
        }
        std::string_view piece(buffer.data(), static_cast<std::size_t>(count));
        while (auto const end = splitter.next(piece, chunk->text)) add(*end);
    }
    if (!cancelled_) submit(std::move(chunk));
}

void Pipeline::read_input_guarded() {
    {
        // While the workers start, the address space may be full up to the
        // room held back; a chunk read then could not be processed.
        std::unique_lock lock(done_mutex_);
        room_free_.wait(lock, [&] { return workers_started_ || cancelled_; });
    }
    try {
        if (!cancelled_) read_input();
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        cancel();
    }
    {
        std::lock_guard lock(done_mutex_);
        reader_finished_ = true;
    }
    done_ready_.notify_all();
    {
        std::lock_guard lock(work_mutex_);
        input_closed_ = true;
    }
    work_ready_.notify_all();
}

void Pipeline::process(Chunk& chunk) const {
    std::string scratch, problem;
    std::size_t start = 0;
    std::string const name(streams_.input_name);
    for (const LineSpan& line : chunk.lines) {
        std::string_view const text(chunk.text.data() + start, line.end - start);
        start = line.end;
        bool ok = true;
        if (line.overlong) {
            append_overlong_record(chunk.output, problem, line.number, settings_.max_line, format_);
            ok = false;
        } else if (line.header) {
            append_header_row(chunk.output, text, format_);
        } else {
            ok = append_record(chunk.output, problem, text, line.number, format_, scratch);
        }
        if (ok) continue;
        if (chunk.problem_count++ == 0) chunk.first_problem_line = line.number;
        chunk.problems += message_line(name + ':' + std::to_string(line.number) + ": " + problem);
    }
    // The text is no longer needed while the chunk waits for its turn.
    std::string().swap(chunk.text);
}

void Pipeline::work() {
    for (;;) {
        std::unique_ptr<Chunk> chunk;
        {
            std::unique_lock lock(work_mutex_);
            work_ready_.wait(lock, [&] { return !work_.empty() || input_closed_; });
            if (work_.empty()) return;
            chunk = std::move(work_.front());
            work_.pop_front();
        }
        if (!cancelled_) {
            try {
                process(*chunk);
            } catch (const std::bad_alloc&) {
                std::string().swap(chunk->output);
                std::string().swap(chunk->text);
                out_of_memory_ = true;
                cancel();
            }
        }
        std::size_t const output_charge = chunk->output.size() + chunk->problems.size();
        uint64_t const sequence = chunk->sequence;
        {
            std::lock_guard lock(done_mutex_);
            in_flight_ = in_flight_ - chunk->charge + output_charge;
            chunk->charge = output_charge;
            done_.emplace(sequence, std::move(chunk));
        }
        done_ready_.notify_all();
    }
}

int Pipeline::run() {
    struct stat status {};
    bool const regular = fstat(streams_.input, &status) == 0 && S_ISREG(status.st_mode);
    Progress progress(streams_.progress && regular, regular ? static_cast<uint64_t>(status.st_size) : 0);

    // The reader first, then as many workers as start while room is held back
    // for the chunks; fewer workers than asked give the same output, only later.
    std::thread reader;
    try {
        reader = std::thread(&Pipeline::read_input_guarded, this);
    } catch (const std::system_error&) {
        report(streams_.messages, "cannot start the batch reader thread");
        return EXIT_FAILED;
    }
    std::vector<std::thread> workers;
    void* const headroom = ::mmap(nullptr, THREAD_START_HEADROOM, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    try {
        workers.reserve(settings_.threads);
        for (unsigned i = 0; i < settings_.threads; ++i) workers.emplace_back(&Pipeline::work, this);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    if (headroom != MAP_FAILED) ::munmap(headroom, THREAD_START_HEADROOM);
    {
        std::lock_guard lock(done_mutex_);
        workers_started_ = true;
    }
    room_free_.notify_all();
    if (workers.empty()) {
        cancel();
        reader.join();
        report(streams_.messages, "cannot start a batch worker thread");
        return EXIT_FAILED;
    }

    int write_errno = 0;
    if (format_.output == BatchOutput::BestCsv && !write_all(streams_.output, csv_header(format_))) write_errno = errno;
    uint64_t bytes_done = 0, lines_done = 0, problem_count = 0, first_problem_line = 0;
    for (uint64_t next = 0;; ++next) {
        std::unique_ptr<Chunk> chunk;
        {
            std::unique_lock lock(done_mutex_);
            done_ready_.wait(lock, [&] { return done_.contains(next) || (reader_finished_ && next == submitted_); });
            auto const found = done_.find(next);
            if (found == done_.end()) break;
            chunk = std::move(found->second);
            done_.erase(found);
        }
        if (write_errno == 0 && !out_of_memory_) {
            // One write a chunk: whole records only, never cut at a buffer's edge.
            if (!write_all(streams_.output, chunk->output)) write_errno = errno ? errno : EIO;
            if (write_errno != 0) cancel();
        }
        if (!chunk->problems.empty()) {
            progress.clear();
            write_all(streams_.messages, chunk->problems);
        }
        if (chunk->problem_count != 0 && problem_count == 0) first_problem_line = chunk->first_problem_line;
        problem_count += chunk->problem_count;
        bytes_done += chunk->input_bytes;
        lines_done += chunk->lines.size();
        {
            std::lock_guard lock(done_mutex_);
            written_ = next + 1;
            in_flight_ -= chunk->charge;
        }
        room_free_.notify_one();
        progress.update(bytes_done, lines_done);
    }
    reader.join();
    for (std::thread& worker : workers) worker.join();
    progress.clear();

    std::string const name(streams_.input_name);
    if (!header_error_.empty()) {
        report(streams_.messages, header_error_);
        return EXIT_USAGE;
    }
    if (out_of_memory_) {
        report(streams_.messages, "out of memory; the output is incomplete");
        return EXIT_FAILED;
    }
    if (read_errno_ != 0) {
        report(streams_.messages, "cannot read " + name + ": " + std::strerror(read_errno_));
        return EXIT_USAGE;
    }
    if (write_errno != 0) {
        if (write_errno != EPIPE) report(streams_.messages, std::string("cannot write the output: ") + std::strerror(write_errno));
        return EXIT_FAILED;
    }
    if (problem_count != 0) {
        report(streams_.messages, name + ": " + std::to_string(problem_count) + " of " + std::to_string(lines_done) +
                                      " lines could not be read (first: line " + std::to_string(first_problem_line) +
                                      "); their records carry the error");
        return EXIT_LINES_UNREAD;
    }
    return EXIT_DONE;
}

}  // namespace

int run_batch_streams(const BatchStreams& streams, const BatchSettings& settings) {
    try {
        Pipeline pipeline(streams, settings);
        return pipeline.run();
    } catch (const std::bad_alloc&) {
        report(streams.messages, "out of memory");
        return EXIT_FAILED;
    }
}

int run_batch(const BatchSettings& settings) {
    // Under an address-space limit, each thread's malloc arena would reserve
    // 64 MiB up front and a few of them use up the room the chunks need:
    // every thread shares the main arena instead.
    rlimit address_space{};
    if (getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY) mallopt(M_ARENA_MAX, 1);
    bool const from_stdin = settings.path.empty() || settings.path == "-";
    std::string const path(settings.path);
    std::string const input_name = from_stdin ? std::string("standard input") : path;
    int fd = STDIN_FILENO;
    if (!from_stdin) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            report(STDERR_FILENO, "cannot open " + path + ": " + std::strerror(errno));
            return EXIT_USAGE;
        }
    }
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        report(STDERR_FILENO, "cannot read " + input_name + ": " + std::strerror(EISDIR));
        if (!from_stdin) ::close(fd);
        return EXIT_USAGE;
    }
    BatchStreams const streams{.input = fd,
                               .output = STDOUT_FILENO,
                               .messages = STDERR_FILENO,
                               .input_name = input_name,
                               .progress = !settings.quiet && is_terminal(STDERR_FILENO)};
    int const status_code = settings.column_mode == ColumnMode::PerValue ? run_batch_streams(streams, settings)
                                                                         : run_column_streams(streams, settings);
    if (!from_stdin) ::close(fd);
    return status_code;
}

}  // namespace epochsift::cli
