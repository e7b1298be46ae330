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

// Bits the structure around the field at `at` of `block` gives (0: none),
// at most SCAN_STRUCTURE_CAP_BITS: a signature of four bytes or more is
// worth more than a neighbour (a random field matches it once in 2^32).
inline constexpr double SCAN_STRUCTURE_CAP_BITS = 28.0;
double structure_bits(StructureField field, std::span<const uint8_t> block, std::size_t at);

// Sets SCAN_SIGNED_FIELD in candidates[o - first] for the offsets o in
// [first, last) that a signature or a FAT directory entry names as a field
// (every field structure_bits credits, for the weak probes), so that weak
// fields there are read without a neighbour.
inline constexpr uint8_t SCAN_SIGNED_FIELD = 2;
void mark_signed_fields(std::span<const uint8_t> block, std::size_t first, std::size_t last,
                        std::vector<uint8_t>& candidates);

}  // namespace epochsift
