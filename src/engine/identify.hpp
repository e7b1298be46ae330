// The engine's entry: classify the text, run the paths, rank the readings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

// The reference reading: identify(value, ReadOptions{}).
std::vector<Candidate> identify(std::string_view value);

std::vector<Candidate> identify(std::string_view value, const ReadOptions& options);

// Raw bytes (1 to 16) read through every integer family in each byte order,
// or only byte_order when given, and through the binary records of their
// width; ranked. Always an extended reading.
std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& options,
                                      std::optional<ByteOrder> byte_order);

}  // namespace epochsift
