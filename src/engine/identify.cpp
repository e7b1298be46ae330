#include "engine/identify.hpp"

#include "engine/ranked_readings.hpp"

namespace epochsift {

// read() without zones or best, and without copying the options into a Request.

std::vector<Candidate> identify(std::string_view value) { return ranked_text_readings(value, ReadOptions{}); }

std::vector<Candidate> identify(std::string_view value, const ReadOptions& options) {
    return ranked_text_readings(value, options);
}

std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& options,
                                      std::optional<ByteOrder> byte_order) {
    return ranked_byte_readings(bytes, options, byte_order);
}

}  // namespace epochsift
