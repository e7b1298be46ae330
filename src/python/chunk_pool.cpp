#include "python/chunk_pool.hpp"

#include <sched.h>

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
    // The caller is one of the threads: it runs jobs whenever the chunk it
    // waits for is unclaimed.
    unsigned const workers = threads > 1 ? threads - 1 : 0;
    for (unsigned i = 0; i < workers && i + 1 < chunks; ++i) {
        try {
            workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;  // fewer threads than asked: the caller still finishes every job
        }
    }
}

ChunkPool::~ChunkPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
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
    std::unique_lock<std::mutex> lock(mutex_);
    taken_ = chunk;  // chunks before this one are consumed: the window moves on
    changed_.notify_all();
    while (!done_[chunk]) {
        std::size_t claimed = 0;
        if (claim(lock, claimed)) {
            run(lock, claimed);
        } else {
            changed_.wait(lock);
        }
    }
}

}  // namespace epochsift::python
