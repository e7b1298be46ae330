// Scanning bytes held in memory on several threads: the buffer is cut into
// chunks, each scanned with the context around it, and the hits joined in
// offset order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/scan.hpp"

namespace epochsift {

// Offsets each chunk owns; its block adds scan_context_bytes on each side.
inline constexpr std::size_t SCAN_CHUNK_BYTES = std::size_t{1} << 20;

// Every hit (with `all`) or the hits that reach the threshold, settled, in
// offset order. `threads` 0 or 1: the calling thread alone. When a thread
// cannot start, its chunks are scanned by the others.
std::vector<ScanHit> scan_buffer(const ScanPlan& plan, std::span<const uint8_t> bytes, bool all, unsigned threads);

}  // namespace epochsift
