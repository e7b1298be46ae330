// A shelf lends each memo to one borrower at a time and lends it again once
// handed back, and a memo that has read other chunks before (of other
// magnitudes, in any order, on other threads) gives each value the full
// reading's first K, confidences to the bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/best_readings_shelf.hpp"
#include "engine/identify.hpp"

namespace epochsift {
namespace {

TEST(BestReadingsShelf, LendsAHandedBackMemoAgainAndNeverOneOnLoan) {
    ReadOptions options;
    options.extended = true;
    BestReadingsShelf shelf(options, 1);
    BestReadingsMemo* first = nullptr;
    {
        BestReadingsShelf::Loan loan = shelf.lend();
        first = &loan.memo();
    }
    {
        BestReadingsShelf::Loan again = shelf.lend();
        EXPECT_EQ(&again.memo(), first);  // handed back, lent again
        BestReadingsShelf::Loan other = shelf.lend();
        EXPECT_NE(&other.memo(), first);  // on loan: a new one
        BestReadingsShelf::Loan moved = std::move(other);
        EXPECT_NE(&moved.memo(), first);
    }
    EXPECT_EQ(shelf.made(), 2u);
    BestReadingsShelf::Loan a = shelf.lend(), b = shelf.lend();
    EXPECT_NE(&a.memo(), &b.memo());
    EXPECT_EQ(shelf.made(), 2u);  // both came back: none made
}

bool same_first(const std::vector<Candidate>& kept, const std::vector<Candidate>& full, std::size_t k) {
    std::size_t const want = std::min(k, full.size());
    if (kept.size() != want) return false;
    for (std::size_t i = 0; i < want; ++i) {
        if (kept[i].format != full[i].format || kept[i].instant != full[i].instant) return false;
        if (std::bit_cast<uint64_t>(kept[i].score) != std::bit_cast<uint64_t>(full[i].score)) return false;
        if (std::bit_cast<uint64_t>(kept[i].confidence) != std::bit_cast<uint64_t>(full[i].confidence)) return false;
    }
    return true;
}

// Chunks of a column of many magnitudes, both signs and a run of Unix
// seconds, read by two threads in a shuffled order with memos from one shelf.
TEST(BestReadingsShelf, ChunksReadWithLentMemosGiveTheFullRankingsFirstK) {
    std::mt19937_64 rng(1208);
    std::vector<int64_t> column;
    for (int i = 0; i < 1500; ++i) column.push_back(1'600'000'000 + static_cast<int64_t>(rng() % 300'000'000));
    for (int i = 0; i < 1500; ++i) {
        auto const value = static_cast<int64_t>(rng() >> (rng() % 64));
        column.push_back(i % 3 == 0 ? -value : value);
    }
    std::shuffle(column.begin() + 1500, column.end(), rng);
    constexpr std::size_t CHUNK = 100;
    std::vector<std::size_t> chunks(column.size() / CHUNK);
    for (std::size_t i = 0; i < chunks.size(); ++i) chunks[i] = i;
    std::shuffle(chunks.begin(), chunks.end(), rng);

    ReadOptions windowed;
    windowed.extended = true;
    windowed.window = InstantWindow{PosixNs::from_seconds(946'684'800), PosixNs::from_seconds(1'893'456'000)};
    ReadOptions plain;
    plain.extended = true;
    for (ReadOptions const& options : {plain, windowed}) {
        for (std::size_t k : {std::size_t{1}, std::size_t{3}}) {
            BestReadingsShelf shelf(options, k);
            std::vector<std::vector<Candidate>> read(column.size());
            auto work = [&](std::size_t from) {
                for (std::size_t c = from; c < chunks.size(); c += 2) {
                    BestReadingsShelf::Loan loan = shelf.lend();
                    for (std::size_t i = chunks[c] * CHUNK; i < (chunks[c] + 1) * CHUNK; ++i) {
                        std::string const text = std::to_string(column[i]);
                        shelf.reader().identify_integer(column[i], text, read[i], loan.memo());
                    }
                }
            };
            std::thread other(work, 1);
            work(0);
            other.join();
            EXPECT_LE(shelf.made(), 2u);  // one a thread at most
            std::size_t differing = 0;
            for (std::size_t i = 0; i < column.size(); ++i) {
                std::vector<Candidate> const full = identify(std::to_string(column[i]), options);
                if (!same_first(read[i], full, k) && ++differing <= 5) ADD_FAILURE() << "K=" << k << " " << column[i];
            }
            EXPECT_EQ(differing, 0u) << "K=" << k;
        }
    }
}

}  // namespace
}  // namespace epochsift
