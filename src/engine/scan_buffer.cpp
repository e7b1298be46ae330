#include "engine/scan_buffer.hpp"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace epochsift {

std::vector<ScanHit> scan_buffer(const ScanPlan& plan, std::span<const uint8_t> bytes, bool all, unsigned threads) {
    std::size_t const chunks = (bytes.size() + SCAN_CHUNK_BYTES - 1) / SCAN_CHUNK_BYTES;
    std::size_t const context = scan_context_bytes(plan);
    std::vector<std::vector<ScanHit>> parts(chunks);
    std::atomic<std::size_t> next{0};
    auto const work = [&] {
        for (std::size_t c = next++; c < chunks; c = next++) {
            std::size_t const begin = c * SCAN_CHUNK_BYTES;
            std::size_t const end = std::min(bytes.size(), begin + SCAN_CHUNK_BYTES);
            std::size_t const from = begin >= context ? begin - context : 0;
            std::size_t const to = std::min(bytes.size(), end + context);
            scan_block(plan, bytes.subspan(from, to - from), begin - from, end - from, from, all, parts[c]);
        }
    };
    std::vector<std::thread> helpers;
    unsigned const wanted = std::min<std::size_t>(std::max(threads, 1u), std::max<std::size_t>(chunks, 1));
    for (unsigned i = 1; i < wanted; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads that started do the work
        }
    }
    work();
    for (std::thread& t : helpers) t.join();
    std::size_t total = 0;
    for (auto const& part : parts) total += part.size();
    std::vector<ScanHit> hits;
    hits.reserve(total);
    for (auto& part : parts) hits.insert(hits.end(), part.begin(), part.end());
    settle_hits(plan, hits, nullptr);
    return hits;
}

}  // namespace epochsift
