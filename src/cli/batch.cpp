#include "cli/batch.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/progress.hpp"
#include "cli/terminal.hpp"

namespace epochsift::cli {

namespace {

constexpr std::size_t READ_SIZE = 1 << 20;
// A chunk closes at whichever comes first. Small enough that a chunk's JSON
// (every reading of every value) stays a few megabytes, large enough that
// the locks are taken rarely.
constexpr std::size_t CHUNK_LINES = 64;
constexpr std::size_t CHUNK_BYTES = 64 << 10;

struct Chunk {
    uint64_t sequence = 0;
    uint64_t first_line = 1;   // line number of the first line, from 1
    uint64_t input_bytes = 0;  // input the chunk covers, line ends included
    std::string text;          // the lines back to back, without line ends
    std::vector<std::size_t> ends;  // where each line ends in text
    std::string output;
    std::string problems;  // stderr lines, each ending in a line feed
};

class Pipeline {
public:
    Pipeline(int fd, const BatchSettings& settings)
        : fd_(fd), settings_(settings), max_in_flight_(2 * static_cast<std::size_t>(settings.threads) + 2) {}

    int run(std::string_view input_name);

private:
    void read_input();
    bool submit(std::unique_ptr<Chunk> chunk);
    void work();
    void process(Chunk& chunk) const;

    int const fd_;
    const BatchSettings& settings_;
    std::size_t const max_in_flight_;
    std::atomic<bool> cancelled_{false};

    // Reader to workers.
    std::mutex work_mutex_;
    std::condition_variable work_ready_;
    std::deque<std::unique_ptr<Chunk>> work_;
    bool input_closed_ = false;

    // Workers to writer, and the writer's hold on the reader.
    std::mutex done_mutex_;
    std::condition_variable done_ready_;
    std::condition_variable slot_free_;
    std::map<uint64_t, std::unique_ptr<Chunk>> done_;
    uint64_t submitted_ = 0;
    uint64_t written_ = 0;
    bool reader_finished_ = false;
    int read_errno_ = 0;
};

bool Pipeline::submit(std::unique_ptr<Chunk> chunk) {
    {
        std::unique_lock lock(done_mutex_);
        slot_free_.wait(lock, [&] { return submitted_ - written_ < max_in_flight_ || cancelled_; });
        if (cancelled_) return false;
        chunk->sequence = submitted_++;
    }
    {
        std::lock_guard lock(work_mutex_);
        work_.push_back(std::move(chunk));
    }
    work_ready_.notify_one();
    return true;
}

void Pipeline::read_input() {
    std::vector<char> buffer(READ_SIZE);
    uint64_t next_line = 1;
    auto chunk = std::make_unique<Chunk>();
    std::size_t line_start = 0;  // where the line being read starts in chunk->text
    bool open_line = false;      // bytes of a line without its line feed yet

    auto const end_line = [&](bool line_feed) {
        std::string& text = chunk->text;
        if (text.size() > line_start && text.back() == '\r') text.pop_back();
        chunk->ends.push_back(text.size());
        chunk->input_bytes += line_feed;
        line_start = text.size();
        open_line = false;
        ++next_line;
        if (chunk->ends.size() < CHUNK_LINES && text.size() < CHUNK_BYTES) return true;
        bool const accepted = submit(std::move(chunk));
        chunk = std::make_unique<Chunk>();
        chunk->first_line = next_line;
        line_start = 0;
        return accepted;
    };

    for (bool going = true; going && !cancelled_;) {
        ssize_t const count = ::read(fd_, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            std::lock_guard lock(done_mutex_);
            read_errno_ = errno;
            break;
        }
        if (count == 0) {
            if (open_line) end_line(false);
            break;
        }
        char const* p = buffer.data();
        char const* const end = p + count;
        while (p < end) {
            auto const* feed = static_cast<char const*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            char const* const stop = feed != nullptr ? feed : end;
            chunk->text.append(p, static_cast<std::size_t>(stop - p));
            chunk->input_bytes += static_cast<uint64_t>(stop - p);
            p = stop;
            if (feed == nullptr) {
                open_line = true;
                break;
            }
            ++p;
            if (!end_line(true)) {
                going = false;
                break;
            }
        }
    }
    if (!chunk->ends.empty()) submit(std::move(chunk));
    {
        std::lock_guard lock(done_mutex_);
        reader_finished_ = true;
    }
    done_ready_.notify_one();
    {
        std::lock_guard lock(work_mutex_);
        input_closed_ = true;
    }
    work_ready_.notify_all();
}

void Pipeline::process(Chunk& chunk) const {
    std::string scratch, problem;
    std::size_t start = 0;
    for (std::size_t i = 0; i < chunk.ends.size(); ++i) {
        std::string_view const line(chunk.text.data() + start, chunk.ends[i] - start);
        if (!append_record(chunk.output, problem, line, chunk.first_line + i, settings_.format, scratch)) {
            chunk.problems += problem;
            chunk.problems += '\n';
        }
        start = chunk.ends[i];
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
        if (!cancelled_) process(*chunk);
        uint64_t const sequence = chunk->sequence;
        {
            std::lock_guard lock(done_mutex_);
            done_.emplace(sequence, std::move(chunk));
        }
        done_ready_.notify_one();
    }
}

int Pipeline::run(std::string_view input_name) {
    struct stat status {};
    bool const regular = fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
    Progress progress(regular && is_terminal(STDERR_FILENO), regular ? static_cast<uint64_t>(status.st_size) : 0);

    // Workers first: they wait for work, so a reader that cannot start
    // leaves only them to release.
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < settings_.threads; ++i) {
        try {
            workers.emplace_back(&Pipeline::work, this);
        } catch (const std::system_error&) {
            break;  // fewer workers than asked give the same output, only later
        }
    }
    std::thread reader;
    if (!workers.empty()) {
        try {
            reader = std::thread(&Pipeline::read_input, this);
        } catch (const std::system_error&) {
        }
    }
    if (!reader.joinable()) {
        {
            std::lock_guard lock(work_mutex_);
            input_closed_ = true;
        }
        work_ready_.notify_all();
        for (std::thread& worker : workers) worker.join();
        std::fputs("epochsift: cannot start the batch threads\n", stderr);
        return 1;
    }

    int write_errno = 0;
    if (settings_.format.output == BatchOutput::BestCsv) {
        if (std::fwrite(CSV_HEADER.data(), 1, CSV_HEADER.size(), stdout) != CSV_HEADER.size()) write_errno = errno;
    }
    uint64_t bytes_done = 0, lines_done = 0;
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
        if (write_errno == 0) {
            std::size_t const size = chunk->output.size();
            if (std::fwrite(chunk->output.data(), 1, size, stdout) != size) write_errno = errno ? errno : EIO;
        }
        if (write_errno != 0) cancelled_ = true;
        if (!chunk->problems.empty()) {
            progress.clear();
            std::fputs(chunk->problems.c_str(), stderr);
        }
        bytes_done += chunk->input_bytes;
        lines_done += chunk->ends.size();
        {
            std::lock_guard lock(done_mutex_);
            written_ = next + 1;
        }
        slot_free_.notify_one();
        progress.update(bytes_done, lines_done);
    }
    reader.join();
    for (std::thread& worker : workers) worker.join();
    progress.clear();

    if (write_errno == 0 && std::fflush(stdout) != 0) write_errno = errno ? errno : EIO;
    if (read_errno_ != 0) {
        std::fprintf(stderr, "epochsift: cannot read %.*s: %s\n", static_cast<int>(input_name.size()), input_name.data(),
                     std::strerror(read_errno_));
        return 2;
    }
    if (write_errno != 0) {
        if (write_errno != EPIPE) std::fprintf(stderr, "epochsift: cannot write the output: %s\n", std::strerror(write_errno));
        return 1;
    }
    return 0;
}

}  // namespace

int run_batch(const BatchSettings& settings) {
    bool const from_stdin = settings.path.empty() || settings.path == "-";
    std::string const path(settings.path);
    std::string_view const input_name = from_stdin ? std::string_view("standard input") : settings.path;
    int fd = STDIN_FILENO;
    if (!from_stdin) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "epochsift: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
            return 2;
        }
    }
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fprintf(stderr, "epochsift: cannot read %.*s: %s\n", static_cast<int>(input_name.size()), input_name.data(),
                     std::strerror(EISDIR));
        if (!from_stdin) ::close(fd);
        return 2;
    }
    // Whole chunks go out at once; a large buffer keeps the writes few.
    static char output_buffer[1 << 20];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    Pipeline pipeline(fd, settings);
    int const status_code = pipeline.run(input_name);
    if (!from_stdin) ::close(fd);
    return status_code;
}

}  // namespace epochsift::cli
