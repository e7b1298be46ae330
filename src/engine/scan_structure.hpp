// Evidence from the bytes around a field that the documents of the
// formats that store it fix: a ZIP header's signature ten or twelve bytes
// before its DOS time, the Info-ZIP extended-timestamp field's tag, size
// and flags before its Unix times, a gzip member's magic before MTIME, a
// binary plist's date marker before its float64, and a FAT directory
// entry's short name and attribute byte before its times. A lone field of
// such a structure has no neighbour to vouch for it; the structure does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/scan_plan.hpp"

namespace epochsift {

// The kinds of field the structures hold, by the probe that reads them.
enum class StructureField : uint8_t {
    None,
    DosLittle,     // fat, little-endian: time word then date word
    UnixLittle,    // unix, little-endian 4 bytes
    CocoaBig,      // cocoa_float, big-endian
};

StructureField structure_field(const ScanProbe& probe);

// The binary property lists that start in a block (Apple's CFBinaryPList:
// the header "bplist00", objects, an offset table of their offsets, and a
// 32-byte trailer giving the table's place, its entries' size and the
// object count), with the offsets of their objects. Read once a block, when
// the first date marker is met; a list must end within the block.
class PlistObjects {
public:
    // For a new block.
    void reset() {
        read_ = false;
        lists_.clear();
    }
    // Whether the byte at `at` of the block is an object of a property list
    // that starts and ends in it.
    bool is_object(std::span<const uint8_t> block, std::size_t at);

private:
    struct List {
        std::size_t start = 0;  // the header's first byte
        std::size_t end = 0;    // past the trailer
        std::vector<uint64_t> objects;  // offsets from start, sorted
    };
    void read(std::span<const uint8_t> block);
    bool read_ = false;
    std::vector<List> lists_;
};

// Bits the structure around the field at `at` of `block` gives (0: none),
// at most SCAN_STRUCTURE_CAP_BITS: a signature of four bytes or more is
// worth more than a neighbour (a random field matches it once in 2^32).
// A binary plist's date counts in full only as an object its offset table
// lists (`plists` of the block; null: the marker byte alone).
inline constexpr double SCAN_STRUCTURE_CAP_BITS = 28.0;
double structure_bits(StructureField field, std::span<const uint8_t> block, std::size_t at,
                      PlistObjects* plists = nullptr);

// Sets SCAN_SIGNED_FIELD in candidates[o - first] for the offsets o in
// [first, last) that a signature or a FAT directory entry names as a field
// (every field structure_bits credits, for the weak probes), so that weak
// fields there are read without a neighbour.
inline constexpr uint8_t SCAN_SIGNED_FIELD = 2;
void mark_signed_fields(std::span<const uint8_t> block, std::size_t first, std::size_t last,
                        std::vector<uint8_t>& candidates);

}  // namespace epochsift
