// Large blocks of released reading columns, kept for the next columns made.
// A million readings write over 100 MB of columns, and every fresh page is
// cleared by the kernel as it is first touched: about a fifth of a column
// read by its verdict. A block kept is warm. At most BLOCK_CACHE_BYTES are
// kept, each marked free to the kernel (MADV_FREE), which may take it back
// under memory pressure (the next use then clears it, as for a fresh one).
#pragma once

#include <cstddef>
#include <new>

namespace epochsift::python {

// Blocks below this are left to the allocator, which reuses them itself.
constexpr std::size_t MIN_CACHED_BLOCK = std::size_t{1} << 20;
constexpr std::size_t BLOCK_CACHE_BYTES = std::size_t{256} << 20;

// At least `bytes` of uninitialised memory, aligned for any scalar.
// Throws std::bad_alloc only.
void* take_block(std::size_t bytes);
// A block from take_block(bytes), the same `bytes`.
void give_block(void* block, std::size_t bytes) noexcept;
// The bytes kept for reuse now.
std::size_t cached_block_bytes() noexcept;
// Frees every block kept.
void drop_cached_blocks() noexcept;

// Holds the cache's lock while it lives, as a thread inside a take or a
// keep does: for tests of what a fork does meanwhile.
class BlockCacheHold {
public:
    BlockCacheHold();
    ~BlockCacheHold();
    BlockCacheHold(const BlockCacheHold&) = delete;
    BlockCacheHold& operator=(const BlockCacheHold&) = delete;
};

// A standard allocator over the blocks: a column's vectors reuse the
// blocks of columns released before them.
template <class T>
struct BlockAllocator {
    using value_type = T;
    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(take_block(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { give_block(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const BlockAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace epochsift::python
