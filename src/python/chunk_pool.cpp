#include "python/chunk_pool.hpp"

#include <sched.h>

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>

namespace epochsift::python {

unsigned available_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int const count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    unsigned const hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

ChunkPool::ChunkPool(std::size_t chunks, unsigned threads, std::size_t ahead, std::function<void(std::size_t)> job)
    : chunks_(chunks), ahead_(ahead < 1 ? 1 : ahead), job_(std::move(job)), done_(chunks, false) {
    // The caller takes no job while a worker runs, so that it stays free to
    // answer signals; it runs them all only when no worker starts.
    std::size_t const workers = std::min<std::size_t>(threads < 1 ? 1 : threads, chunks);
    try {
        workers_.reserve(workers);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (std::size_t i = 0; i < workers; ++i) {
        try {
            workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;  // fewer threads than asked: those that started finish every job
        }
    }
}

void ChunkPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

ChunkPool::~ChunkPool() {
    stop();
    for (std::thread& worker : workers_) worker.join();
}

bool ChunkPool::claim(std::unique_lock<std::mutex>&, std::size_t& chunk) {
    if (next_ >= chunks_ || next_ >= taken_ + ahead_) return false;
    chunk = next_++;
    return true;
}

void ChunkPool::run(std::unique_lock<std::mutex>& lock, std::size_t chunk) {
    lock.unlock();
    job_(chunk);
    lock.lock();
    done_[chunk] = true;
    changed_.notify_all();
}

void ChunkPool::work() {
    // The C++ runtime's per-thread exception state lives in thread-local
    // storage that the loader allocates on first use, and aborts the process
    // when it cannot. Touched here, at the start, it is not first needed by a
    // std::bad_alloc thrown when memory has already run out.
    (void)std::uncaught_exceptions();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_ && next_ < chunks_) {
        std::size_t chunk = 0;
        if (claim(lock, chunk)) {
            run(lock, chunk);
        } else {
            changed_.wait(lock);
        }
    }
}

void ChunkPool::take(std::size_t chunk) {
    while (!take_within(chunk, std::chrono::milliseconds(1000))) {
    }
}

bool ChunkPool::try_take(std::size_t chunk) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!done_[chunk]) return false;
    taken_ = chunk;
    changed_.notify_all();
    return true;
}

bool ChunkPool::take_within(std::size_t chunk, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    taken_ = chunk;  // chunks before this one are consumed: the window moves on
    changed_.notify_all();
    auto const deadline = std::chrono::steady_clock::now() + wait;
    while (!done_[chunk]) {
        std::size_t claimed = 0;
        if (workers_.empty() && claim(lock, claimed)) {
            run(lock, claimed);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return done_[chunk];
        }
    }
    return true;
}

}  // namespace epochsift::python
