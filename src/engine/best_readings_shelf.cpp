#include "engine/best_readings_shelf.hpp"

namespace epochsift {

BestReadingsShelf::Loan::~Loan() {
    if (memo_ == nullptr) return;  // moved from
    std::lock_guard const lock(shelf_->mutex_);
    shelf_->idle_.push_back(std::move(memo_));  // within the room lend() reserved
}

BestReadingsShelf::Loan BestReadingsShelf::lend() {
    {
        std::lock_guard const lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<BestReadingsMemo> memo = std::move(idle_.back());
            idle_.pop_back();
            return Loan(*this, std::move(memo));
        }
        idle_.reserve(made_ + 1);  // may throw: before the memo exists
        ++made_;
    }
    return Loan(*this, std::make_unique<BestReadingsMemo>(reader_));
}

std::size_t BestReadingsShelf::made() const {
    std::lock_guard const lock(mutex_);
    return made_;
}

}  // namespace epochsift
