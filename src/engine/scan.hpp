// Scanning a block of bytes for timestamps: every probe of a plan at every
// offset, each hit scored with the evidence real timestamps carry and
// noise lacks, in bits (log2 of a likelihood ratio).
//
// Noise is cheap to find (a third of all 4-byte values are Unix times of the
// plausible era), so the score weighs:
//   high_bytes  how rarely a random field of that width hits the probe
//   prior       how often the family is met
//   alignment   whether the offset is a multiple of the field's width
//   neighbours  a hit of the same probe a few fields away with a close
//               instant (file-system and registry records keep created,
//               modified and accessed times side by side)
//   stride      the same at a record's stride (arrays of records)
//   text        a field made only of printable or repeated bytes
//   era         an instant in the years most data comes from (2000-2029)
//               against the plausible window's edges
//   structure   the bytes around the field that its format fixes (a ZIP
//               or gzip signature, a FAT directory entry)
// and a hit is shown when its score reaches the threshold. Weak probes
// (a hit in more than 1/64 of random fields) are corroborated only: a hit
// with no close neighbour is never shown, so the block is first passed
// over by a prefilter (scan_prefilter.hpp) that marks the offsets worth
// reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/instant.hpp"
#include "engine/scan_plan.hpp"

namespace epochsift {

enum class ScanEvidence : uint8_t { HighBytes, Prior, Alignment, Neighbours, Stride, Text, Era, Structure };
inline constexpr std::size_t SCAN_EVIDENCE_COUNT = 8;

// The score at which a hit is shown, in bits: set so that random bytes
// show well under one hit per MB (bench/scan_ranking.py measures it).
inline constexpr double SCAN_THRESHOLD_BITS = 26.0;

struct ScanHit {
    uint64_t offset = 0;   // in the whole input
    uint16_t probe = 0;    // index into the plan's probes
    PosixNs instant;
    double bits = 0;       // the sum of the evidence
    std::array<float, SCAN_EVIDENCE_COUNT> evidence{};
    uint64_t record = 0;   // offset of the first hit of the record it belongs to
    bool shown = false;    // reaches the threshold and is the best reading of its bytes

    double confidence() const;
};

// Hits of the offsets [begin, end) of `block` (whose first byte is at
// `base` in the input), in offset order. Bytes of the block outside
// [begin, end) are context: fields may run into them and neighbours are
// looked for there. With `all`, every raw hit; otherwise only hits that
// reach the threshold.
void scan_block(const ScanPlan& plan, std::span<const uint8_t> block, std::size_t begin, std::size_t end,
                uint64_t base, bool all, std::vector<ScanHit>& out);

// The context a block needs on each side of the offsets it owns.
std::size_t scan_context_bytes(const ScanPlan& plan);

// Marks which hits are shown (at the threshold, and the best reading of
// their bytes where shown hits overlap) and groups shown hits that sit
// side by side into records. Hits in offset order; `previous` is the last
// shown hit before them (a record may continue across blocks), or null.
void settle_hits(const ScanPlan& plan, std::span<ScanHit> hits, const ScanHit* previous);

}  // namespace epochsift
