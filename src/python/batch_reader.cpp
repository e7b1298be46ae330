#include "python/batch_reader.hpp"

#include <iterator>
#include <new>
#include <stdexcept>

#include "engine/best_readings.hpp"
#include "engine/best_readings_shelf.hpp"
#include "engine/request.hpp"

namespace epochsift::python {

namespace {

void read_texts_with(std::span<const std::string_view> texts, std::size_t best, const ReadOptions& options,
                     const BestReadings& reader, BestReadingsMemo& memo, ChunkReadings& out,
                     const std::atomic<bool>* cancelled) {
    std::vector<Candidate> readings;
    out.ends.reserve(texts.size());
    for (std::string_view text : texts) {
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) {
            out.outcome = ReadOutcome::Cancelled;
            return;
        }
        if (options.zones.any()) {
            Request request = Request::of_text(text, options);
            if (best != 0) request.best = best;
            Readings readings = read(request);
            out.readings.insert(out.readings.end(), std::make_move_iterator(readings.ranked.begin()),
                                std::make_move_iterator(readings.ranked.end()));
            out.zones.insert(out.zones.end(), std::make_move_iterator(readings.zones.begin()),
                             std::make_move_iterator(readings.zones.end()));
            out.ends.push_back(out.readings.size());
            continue;
        }
        reader.identify(text, readings, memo);
        std::size_t const kept = best == 0 ? readings.size() : std::min(best, readings.size());
        out.readings.insert(out.readings.end(), std::make_move_iterator(readings.begin()),
                            std::make_move_iterator(readings.begin() + static_cast<std::ptrdiff_t>(kept)));
        out.ends.push_back(out.readings.size());
    }
    out.outcome = ReadOutcome::Done;
}

}  // namespace

void read_texts(std::span<const std::string_view> texts, std::size_t best, const ReadOptions& options,
                ChunkReadings& out, const std::atomic<bool>* cancelled, BestReadingsShelf* shelf) noexcept {
    try {
        if (shelf != nullptr) {
            BestReadingsShelf::Loan loan = shelf->lend();
            read_texts_with(texts, best, options, shelf->reader(), loan.memo(), out, cancelled);
            return;
        }
        // Only the readings that can be among the first `best` are built.
        BestReadings const reader(options, best);
        BestReadingsMemo memo(reader);  // the families' bounds and scores, kept from value to value
        read_texts_with(texts, best, options, reader, memo, out, cancelled);
    } catch (const std::bad_alloc&) {
        out.outcome = ReadOutcome::OutOfMemory;
    } catch (const std::length_error&) {
        out.outcome = ReadOutcome::OutOfMemory;
    } catch (...) {
        out.outcome = ReadOutcome::Unexpected;
    }
}

}  // namespace epochsift::python
