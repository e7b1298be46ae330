// Runs one job per chunk of a batch on worker threads while the calling
// thread takes finished chunks in order. No Python here: the caller holds no
// GIL while it waits or works. The caller only waits (in bounded steps, so it
// can answer signals between them) unless no worker could start; then it runs
// every job itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace epochsift::python {

// The threads a batch uses when the caller names none: the cores this
// process may run on.
unsigned available_cores();

class ChunkPool {
public:
    // job(chunk) fills that chunk's results; it must not throw. Starts
    // `threads` workers, but never more than there are chunks, and fewer
    // when the system refuses a thread. Workers stay at most `ahead` chunks
    // past the last one taken, so a slow consumer bounds the memory held in
    // finished chunks.
    ChunkPool(std::size_t chunks, unsigned threads, std::size_t ahead, std::function<void(std::size_t)> job);
    ChunkPool(const ChunkPool&) = delete;
    ChunkPool& operator=(const ChunkPool&) = delete;
    ~ChunkPool();  // stops and joins the workers

    // Blocks until `chunk` is done. Chunks are taken in order, 0, 1, 2, ...
    void take(std::size_t chunk);

    // take(), but gives up after about `wait` while a worker still reads the
    // chunk: false then, and the caller may call again.
    bool take_within(std::size_t chunk, std::chrono::milliseconds wait);

    // take() when `chunk` is done already: no waiting, and no job run here.
    bool try_take(std::size_t chunk);

    // Claims no further chunks: jobs already running finish.
    void stop();

    std::size_t workers() const { return workers_.size(); }

private:
    void work();
    // Claims the next chunk within the window, or returns false.
    bool claim(std::unique_lock<std::mutex>& lock, std::size_t& chunk);
    void run(std::unique_lock<std::mutex>& lock, std::size_t chunk);

    std::size_t const chunks_;
    std::size_t const ahead_;
    std::function<void(std::size_t)> const job_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;   // first unclaimed chunk
    std::size_t taken_ = 0;  // chunks the caller has taken
    bool stopping_ = false;
    std::vector<bool> done_;
    std::vector<std::thread> workers_;
};

}  // namespace epochsift::python
