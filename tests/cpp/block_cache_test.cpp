// The block cache: which released blocks come back, and how much is kept.
// Its contract: a block of at least the size asked for, never one over
// twice it, at most BLOCK_CACHE_BYTES kept, the oldest let go first, and
// small blocks left to the allocator.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "python/block_cache.hpp"

namespace epochsift::python {
namespace {

constexpr std::size_t MIB = std::size_t{1} << 20;

class BlockCache : public ::testing::Test {
protected:
    void SetUp() override { drop_cached_blocks(); }
    void TearDown() override { drop_cached_blocks(); }
};

TEST_F(BlockCache, AReleasedBlockComesBackForTheSameSizeAndWithinTwiceIt) {
    void* const first = take_block(8 * MIB);
    std::memset(first, 0x5A, 8 * MIB);  // every byte is ours to write
    give_block(first, 8 * MIB);
    EXPECT_EQ(cached_block_bytes(), 8 * MIB);
    void* const again = take_block(8 * MIB);
    EXPECT_EQ(again, first);
    EXPECT_EQ(cached_block_bytes(), 0u);
    give_block(again, 8 * MIB);

    // Smaller, but not under half: the same block, still freed by its size.
    void* const smaller = take_block(5 * MIB);
    EXPECT_EQ(smaller, first);
    std::memset(smaller, 0x11, 5 * MIB);
    give_block(smaller, 5 * MIB);
    EXPECT_EQ(cached_block_bytes(), 8 * MIB);  // kept at its own size

    // Under half, or larger: a new block, the kept one stays.
    void* const small = take_block(3 * MIB);
    void* const large = take_block(9 * MIB);
    EXPECT_NE(small, first);
    EXPECT_NE(large, first);
    EXPECT_EQ(cached_block_bytes(), 8 * MIB);
    give_block(small, 3 * MIB);
    give_block(large, 9 * MIB);
}

TEST_F(BlockCache, TheSmallestFittingBlockIsTaken) {
    void* const big = take_block(12 * MIB);
    void* const fit = take_block(7 * MIB);
    give_block(big, 12 * MIB);
    give_block(fit, 7 * MIB);
    void* const taken = take_block(6 * MIB + 1);
    EXPECT_EQ(taken, fit);
    give_block(taken, 6 * MIB + 1);
}

TEST_F(BlockCache, AtMostTheCapIsKeptAndTheOldestGoesFirst) {
    std::size_t const block = BLOCK_CACHE_BYTES / 4;
    std::vector<void*> blocks;
    for (int i = 0; i < 6; ++i) blocks.push_back(take_block(block));
    for (void* b : blocks) give_block(b, block);
    EXPECT_EQ(cached_block_bytes(), BLOCK_CACHE_BYTES);
    // The last four released are the ones kept.
    std::vector<void*> back;
    for (int i = 0; i < 4; ++i) back.push_back(take_block(block));
    EXPECT_EQ(cached_block_bytes(), 0u);
    for (int i = 2; i < 6; ++i) EXPECT_NE(std::find(back.begin(), back.end(), blocks[i]), back.end()) << i;
    for (void* b : back) give_block(b, block);

    // A block over the cap is never kept.
    drop_cached_blocks();
    void* const huge = take_block(BLOCK_CACHE_BYTES + MIB);
    give_block(huge, BLOCK_CACHE_BYTES + MIB);
    EXPECT_EQ(cached_block_bytes(), 0u);
}

TEST_F(BlockCache, SmallBlocksAndNullAreLeftToTheAllocator) {
    void* const small = take_block(MIN_CACHED_BLOCK - 1);
    give_block(small, MIN_CACHED_BLOCK - 1);
    EXPECT_EQ(cached_block_bytes(), 0u);
    give_block(nullptr, 8 * MIB);
    EXPECT_EQ(cached_block_bytes(), 0u);
}

TEST_F(BlockCache, VectorsOverTheAllocatorReuseBlocksAndKeepTheirContents) {
    using Vector = std::vector<int64_t, BlockAllocator<int64_t>>;
    constexpr std::size_t N = 3 * MIB / sizeof(int64_t);
    const int64_t* first_data = nullptr;
    {
        Vector v;
        v.reserve(N);
        for (std::size_t i = 0; i < N; ++i) v.push_back(-static_cast<int64_t>(i));
        first_data = v.data();
    }
    EXPECT_GE(cached_block_bytes(), N * sizeof(int64_t));
    Vector w;
    w.reserve(N);
    EXPECT_EQ(w.data(), first_data);
    // Growth past the block copies what was written, through blocks from the cache.
    for (std::size_t i = 0; i < 2 * N; ++i) w.push_back(static_cast<int64_t>(i) * 3);
    for (std::size_t i = 0; i < 2 * N; i += 4099) ASSERT_EQ(w[i], static_cast<int64_t>(i) * 3);
}

// A child forked while another thread holds the cache's lock still takes
// and gives blocks: the fork waits for the lock rather than copying it held.
TEST_F(BlockCache, AChildForkedWhileAnotherThreadHoldsTheCacheCanUseIt) {
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        BlockCacheHold const hold;
        holding.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    while (!holding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pid_t const child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        give_block(take_block(2 * MIB), 2 * MIB);
        // Ends through exec, so that a memory checker following the parent
        // does not report the test framework's memory a second time.
        execl("/bin/true", "true", static_cast<char*>(nullptr));
        _exit(1);
    }
    holder.join();
    int status = 0;
    bool stuck = false;
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            stuck = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(stuck) << "the child waited for a lock copied held";
    EXPECT_TRUE(!stuck && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace epochsift::python
