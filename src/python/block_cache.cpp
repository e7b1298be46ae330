#include "python/block_cache.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#if defined(__linux__)
#include <pthread.h>
#endif

#include "python/page_advice.hpp"

namespace epochsift::python {

namespace {

// A large block starts with its size, so a block handed out larger than
// asked is kept and freed by its own size. The header keeps the body
// aligned as operator new's is.
struct alignas(alignof(std::max_align_t)) Header {
    std::size_t bytes;  // of the body
};

constexpr std::size_t SLOTS = 32;

struct Kept {
    Header* block = nullptr;
    uint64_t age = 0;  // when kept: the oldest goes first
};

class Cache {
public:
    Cache() {
#if defined(__linux__)
        // A fork while another thread holds the lock would leave the child's
        // copy locked for good: the fork waits for it instead, and both sides
        // let go after.
        pthread_atfork(lock_for_fork, unlock_after_fork, unlock_after_fork);
#endif
    }
    ~Cache() {
        gone.store(true, std::memory_order_release);
        drop();
    }

    // The smallest block kept of at least `bytes` and not over twice them.
    Header* take(std::size_t bytes) {
        std::lock_guard const lock(mutex_);
        Kept* best = nullptr;
        for (Kept& k : kept_) {
            if (k.block == nullptr || k.block->bytes < bytes || k.block->bytes / 2 > bytes) continue;
            if (best == nullptr || k.block->bytes < best->block->bytes) best = &k;
        }
        if (best == nullptr) return nullptr;
        Header* const block = best->block;
        *best = Kept{};
        total_ -= block->bytes;
        return block;
    }

    // Keeps the block, making room by freeing the oldest; false when it
    // cannot be kept at all.
    bool keep(Header* block) {
        if (block->bytes > BLOCK_CACHE_BYTES) return false;
        advise_free(block);
        std::lock_guard const lock(mutex_);
        Kept* slot = free_slot();
        while (slot == nullptr || total_ + block->bytes > BLOCK_CACHE_BYTES) {
            Kept* const freed = free_oldest();
            if (slot == nullptr) slot = freed;
        }
        *slot = Kept{block, ++clock_};
        total_ += block->bytes;
        return true;
    }

    std::size_t total() {
        std::lock_guard const lock(mutex_);
        return total_;
    }

    void drop() {
        std::lock_guard const lock(mutex_);
        for (Kept& k : kept_) {
            ::operator delete(k.block);
            k = Kept{};
        }
        total_ = 0;
    }

    static inline std::atomic<bool> gone{false};

    static void lock_for_fork();
    static void unlock_after_fork();

private:
    Kept* free_slot() {
        for (Kept& k : kept_) {
            if (k.block == nullptr) return &k;
        }
        return nullptr;
    }
    // The slot it empties; nothing when nothing is kept.
    Kept* free_oldest() {
        Kept* oldest = nullptr;
        for (Kept& k : kept_) {
            if (k.block != nullptr && (oldest == nullptr || k.age < oldest->age)) oldest = &k;
        }
        if (oldest == nullptr) return nullptr;
        total_ -= oldest->block->bytes;
        ::operator delete(oldest->block);
        *oldest = Kept{};
        return oldest;
    }
    // The whole pages of the body: the kernel may reclaim them rather than
    // write them out; the header's page stays.
    static void advise_free(Header* block) {
#if defined(MADV_FREE)
        advise_whole_pages(block + 1, block->bytes, 4096, MADV_FREE);
#else
        (void)block;
#endif
    }

    std::mutex mutex_;
    std::array<Kept, SLOTS> kept_{};
    std::size_t total_ = 0;
    uint64_t clock_ = 0;
};

// The cache, or nothing once exit has destroyed it (blocks are then
// freed at once).
Cache* live_cache() {
    static Cache the_cache;
    return Cache::gone.load(std::memory_order_acquire) ? nullptr : &the_cache;
}

void Cache::lock_for_fork() {
    if (Cache* const cache = live_cache()) cache->mutex_.lock();
}

void Cache::unlock_after_fork() {
    if (Cache* const cache = live_cache()) cache->mutex_.unlock();
}

}  // namespace

void* take_block(std::size_t bytes) {
    if (bytes < MIN_CACHED_BLOCK) return ::operator new(bytes);
    if (Cache* const cache = live_cache()) {
        if (Header* const kept = cache->take(bytes)) return kept + 1;
    }
    if (bytes > static_cast<std::size_t>(-1) - sizeof(Header)) throw std::bad_alloc();
    auto* const block = static_cast<Header*>(::operator new(sizeof(Header) + bytes));
    block->bytes = bytes;
    return block + 1;
}

void give_block(void* body, std::size_t bytes) noexcept {
    if (body == nullptr) return;
    if (bytes < MIN_CACHED_BLOCK) {
        ::operator delete(body);
        return;
    }
    Header* const block = static_cast<Header*>(body) - 1;
    Cache* const cache = live_cache();
    if (cache == nullptr || !cache->keep(block)) ::operator delete(block);
}

std::size_t cached_block_bytes() noexcept {
    Cache* const cache = live_cache();
    return cache == nullptr ? 0 : cache->total();
}

BlockCacheHold::BlockCacheHold() { Cache::lock_for_fork(); }
BlockCacheHold::~BlockCacheHold() { Cache::unlock_after_fork(); }

void drop_cached_blocks() noexcept {
    if (Cache* const cache = live_cache()) cache->drop();
}

}  // namespace epochsift::python
