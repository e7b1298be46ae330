// The first stage of read() (engine/request.hpp): a value's readings,
// scored and ranked, before zones and best are applied. The bindings call
// read(); these stay for callers that want the plain list.
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

// The ranked readings of value; options.zones are not applied.
std::vector<Candidate> identify(std::string_view value, const ReadOptions& options);

// The steps of identify after the integer readings, for the engine's other
// drivers (engine/best_readings.hpp). text is trimmed; options have had
// with_useful_hint applied.
// Appends the float readings of text when it is a number; false otherwise.
bool append_float_path(std::vector<Candidate>& readings, std::string_view text, const ReadOptions& options);
// Appends the string and extended readings of text to the numeric ones
// already in readings, and ranks them all (setting no confidence: the
// caller does, once every reading it lists is in).
void append_text_readings_and_rank(std::vector<Candidate>& readings, std::string_view text, const ReadOptions& options);

// Raw bytes (1 to 16) read through every integer family in each byte order,
// or only byte_order when given, and through the binary records of their
// width; bytes of decimal digits also as BCD and semi-octet digits, in
// stored order whatever byte_order says; ranked with the extended order (the
// module, the C interface and the command line's --hex ask for the extended
// evidence too). options.context.byte_order is not looked at.
std::vector<Candidate> identify_bytes(std::span<const uint8_t> bytes, const ReadOptions& options,
                                      std::optional<ByteOrder> byte_order);

}  // namespace epochsift
