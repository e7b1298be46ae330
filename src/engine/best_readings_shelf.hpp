// One BestReadings for a call over many values, with the memos its chunks
// borrow. A memo learns as it reads (each magnitude band's order of the
// families, each family's scores); made afresh for every chunk, that
// learning was repeated chunk after chunk. Lent from a shelf, a memo goes on
// to the next chunk a thread takes, so a call learns about as often as it
// has threads. A memo gives the same readings whatever it has read before,
// so the output does not depend on which chunk borrows which memo.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/best_readings.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

class BestReadingsShelf {
public:
    // A memo on loan: handed back to the shelf when the loan ends.
    class Loan {
    public:
        Loan(Loan&& other) noexcept : shelf_(other.shelf_), memo_(std::move(other.memo_)) {}
        Loan(const Loan&) = delete;
        Loan& operator=(const Loan&) = delete;
        Loan& operator=(Loan&&) = delete;
        ~Loan();
        BestReadingsMemo& memo() { return *memo_; }

    private:
        friend class BestReadingsShelf;
        Loan(BestReadingsShelf& shelf, std::unique_ptr<BestReadingsMemo> memo)
            : shelf_(&shelf), memo_(std::move(memo)) {}
        BestReadingsShelf* shelf_;
        std::unique_ptr<BestReadingsMemo> memo_;
    };

    // As BestReadings(options, best); the options' hint and neighbours must
    // outlive the shelf.
    BestReadingsShelf(const ReadOptions& options, std::size_t best) : reader_(options, best) {}
    BestReadingsShelf(const BestReadingsShelf&) = delete;
    BestReadingsShelf& operator=(const BestReadingsShelf&) = delete;

    const BestReadings& reader() const { return reader_; }

    // A memo no other loan holds: one handed back, else a new one. Safe
    // from any thread; every loan must end before the shelf does.
    Loan lend();

    // How many memos the shelf has made. For the tests.
    std::size_t made() const;

private:
    BestReadings reader_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<BestReadingsMemo>> idle_;  // room kept for every memo made: handing back never allocates
    std::size_t made_ = 0;
};

}  // namespace epochsift
