// Reads many texts with the engine, a chunk at a time, keeping each text's
// first readings. No Python here: chunks are read on worker threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift::python {

// Texts per chunk: a few milliseconds of engine work, so threads share the
// batch evenly and the caller can box one chunk while others are read.
inline constexpr std::size_t CHUNK_TEXTS = 256;

enum class ReadOutcome : uint8_t {
    Done,
    OutOfMemory,  // std::bad_alloc, or std::length_error: a size past max_size
    Unexpected,   // anything else; the engine reports its failures as values
};

struct ChunkReadings {
    std::vector<Candidate> readings;  // every text's kept readings, back to back
    std::vector<std::size_t> ends;    // per text: one past its last reading
    ReadOutcome outcome = ReadOutcome::Done;

    std::span<const Candidate> of(std::size_t text) const {
        std::size_t const begin = text == 0 ? 0 : ends[text - 1];
        return std::span<const Candidate>(readings).subspan(begin, ends[text] - begin);
    }
};

// Keeps at most `best` readings of each text (all when best is 0).
void read_texts(std::span<const std::string_view> texts, std::size_t best, ChunkReadings& out) noexcept;

inline std::size_t chunk_count(std::size_t texts) { return (texts + CHUNK_TEXTS - 1) / CHUNK_TEXTS; }

}  // namespace epochsift::python
