// Reads many texts with the engine, a chunk at a time, keeping each text's
// first readings. No Python here: chunks are read on worker threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/request.hpp"

namespace epochsift {
class BestReadingsShelf;
}

namespace epochsift::python {

// How a batch is cut into chunks: about 16 a thread, so threads share the
// work evenly and the caller boxes one chunk while others are read, but no
// smaller than 64 texts, so that each hand-over (a lock and perhaps a
// wake-up) is paid for by at least tens of microseconds of engine work.
struct ChunkPlan {
    std::size_t texts = 0;
    std::size_t size = 1;

    ChunkPlan(std::size_t texts_, unsigned threads) : texts(texts_) {
        std::size_t const per_thread = 16 * std::size_t{threads < 1 ? 1 : threads};
        size = std::clamp<std::size_t>((texts + per_thread - 1) / per_thread, 64, 4096);
    }
    std::size_t chunks() const { return (texts + size - 1) / size; }
    std::size_t first(std::size_t chunk) const { return chunk * size; }
    std::size_t length(std::size_t chunk) const { return std::min(size, texts - first(chunk)); }
};

enum class ReadOutcome : uint8_t {
    Done,
    OutOfMemory,  // std::bad_alloc, or std::length_error: a size past max_size
    Unexpected,   // anything else; the engine reports its failures as values
    Cancelled,    // the caller gave up (an interrupt) before the chunk was read
};

struct ChunkReadings {
    std::vector<Candidate> readings;  // every text's kept readings, back to back
    std::vector<ReadingZones> zones;  // beside readings when the options name zones, else empty
    std::vector<std::size_t> ends;    // per text: one past its last reading
    ReadOutcome outcome = ReadOutcome::Done;

    std::span<const Candidate> of(std::size_t text) const {
        std::size_t const begin = text == 0 ? 0 : ends[text - 1];
        return std::span<const Candidate>(readings).subspan(begin, ends[text] - begin);
    }
    std::span<const ReadingZones> zones_of(std::size_t text) const {
        if (zones.empty()) return {};
        std::size_t const begin = text == 0 ? 0 : ends[text - 1];
        return std::span<const ReadingZones>(zones).subspan(begin, ends[text] - begin);
    }
};

// identify(text, options) of each text, seen through options.zones when it
// names any; keeps at most `best` readings of each text (all when best is 0).
// Stops between texts once *cancelled is set (outcome Cancelled). shelf,
// made with the same options and best, lends a reader's memo that goes on
// from chunk to chunk; without one, the chunk makes its own.
void read_texts(std::span<const std::string_view> texts, std::size_t best, const ReadOptions& options,
                ChunkReadings& out, const std::atomic<bool>* cancelled = nullptr,
                BestReadingsShelf* shelf = nullptr) noexcept;

// The reference reading of each text.
inline void read_texts(std::span<const std::string_view> texts, std::size_t best, ChunkReadings& out) noexcept {
    read_texts(texts, best, ReadOptions{}, out);
}

}  // namespace epochsift::python
