// A cheap first pass of the blob scan: which offsets of a tile any probe
// could hit, from the top 16 bits of the fields alone, before a probe is
// tried there.
//
// Every probe's hits share a few top-16 values: a count's range, a double's
// exponent, a record's leading count and a later field its format bounds
// (pcap's microseconds below 10^6). One table, indexed by the 16-bit word
// at each byte, says which of those conditions the word meets, in either
// byte order; an offset is a candidate when all conditions of one probe
// meet at their places. Weak probes (a third of random fields are Unix
// times) are kept only with a field at one of the neighbour distances
// whose top 16 bits are within one: every close pair the scan credits has
// them. The pass is a superset of the hits: each candidate is then read
// exactly, so what is found does not change.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/scan_plan.hpp"

namespace epochsift {

// Distances at which a neighbouring field of the same kind is looked for:
// side by side within a record, then at the strides of record arrays
// (directory entries, inodes, MFT records).
inline constexpr std::array<uint16_t, 6> SCAN_NEAR_DISTANCES = {4, 8, 12, 16, 24, 32};
inline constexpr std::array<uint16_t, 5> SCAN_STRIDE_DISTANCES = {64, 128, 256, 512, 1024};
inline constexpr std::size_t SCAN_MAX_DISTANCE = 1024;

// A probe is weak when more than 1/64 of random fields hit it: its hits are
// kept (outside a raw scan) only with a close field at one of the distances.
inline constexpr double SCAN_WEAK_NOISE_BITS = 6.0;
bool weak_probe(const ScanProbe& probe);

// What the prefilter marks at an offset: a bit for each kind of field a
// probe there may hit (little-endian counts and doubles by width, any
// big-endian one, a record), so that only those are read.
inline constexpr uint8_t SCAN_READ_LITTLE_4 = 0x01;
inline constexpr uint8_t SCAN_READ_LITTLE_6 = 0x04;
inline constexpr uint8_t SCAN_READ_LITTLE_8 = 0x08;
inline constexpr uint8_t SCAN_READ_BIG = 0x10;
inline constexpr uint8_t SCAN_READ_RECORD = 0x20;
inline constexpr uint8_t SCAN_READ_LITTLE_2 = 0x40;
inline constexpr uint8_t SCAN_READ_ALL = 0xFF;
uint8_t scan_read_bit(ProbeKind kind, uint8_t width, ByteOrder order);

class ScanPrefilter {
public:
    explicit ScanPrefilter(const ScanPlan& plan);

    // False when some probe's hits have no top-16 description (a record
    // with no leading count): every offset is then a candidate.
    bool usable() const { return usable_; }

    // candidates[o - first] holds the SCAN_READ_* bits of the fields offset
    // o of `block` may hold a hit in (0: none), for o in [first, last).
    // Fields past the block's end read as zero.
    void mark(std::span<const uint8_t> block, std::size_t first, std::size_t last,
              std::vector<uint8_t>& candidates);

    // After mark: whether the 16-bit word at offset first + i (read in the
    // order given) has a word within one of it at one of the distances, for
    // i below last - first + 16; true where that pass was not run. A weak
    // field with no such word at its top has no close field.
    bool near(ByteOrder order, std::size_t i) const {
        std::vector<uint8_t> const& near = order == ByteOrder::Little ? near_little_ : near_big_;
        return i >= near.size() || near[i] != 0;
    }

private:
    // A condition's place: the 16-bit word `at` bytes after the offset,
    // read little-endian (bits 0-7 of a table entry) or big-endian (8-15).
    struct Rule {
        uint16_t bit_a = 0;
        uint8_t at_a = 0;
        uint16_t bit_b = 0;  // 0: one condition
        uint8_t at_b = 0;
        uint16_t bit_c = 0;  // 0: two at most
        uint8_t at_c = 0;
        uint8_t read = 0;    // the SCAN_READ_* bit it marks
        bool weak = false;   // also needs a close field (the word at_a's)
        bool big = false;    // the order of the words its close test reads
    };
    bool usable_ = true;
    std::vector<uint16_t> table_;  // by little-endian word: the conditions it meets
    std::vector<Rule> rules_;
    bool weak_little_ = false;
    bool weak_big_ = false;
    // Scratch, reused tile after tile.
    std::vector<uint16_t> met_;
    std::vector<uint16_t> keys_;
    std::vector<uint16_t> big_keys_;
    std::vector<uint8_t> near_little_;
    std::vector<uint8_t> near_big_;
};

}  // namespace epochsift
