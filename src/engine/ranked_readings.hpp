// The first stage of read() (engine/request.hpp): a value's readings,
// scored and ranked, before any zone is applied. Within the engine only:
// the bindings call read().
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_order.hpp"
#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

// The readings of a text under options (its zones are not looked at).
std::vector<Candidate> ranked_text_readings(std::string_view text, const ReadOptions& options);

// The readings of 1 to 16 raw bytes in `order`, or in each byte order when
// absent; always extended. options.context.byte_order is not looked at.
std::vector<Candidate> ranked_byte_readings(std::span<const uint8_t> bytes, const ReadOptions& options,
                                            std::optional<ByteOrder> order);

}  // namespace epochsift
