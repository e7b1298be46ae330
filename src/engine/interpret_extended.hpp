// The extended inputs: hex bytes, two-part values, wall-clock text and the
// extended string forms. Read only when the caller asks for extended
// readings; the reference path never calls here.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

// The readings of trimmed text beyond the reference ones, unranked.
void append_extended_readings(std::vector<Candidate>& out, std::string_view text, const ReadOptions& options);

// The readings of raw bytes: every integer family in each byte order (or
// only the given one) as unsigned and signed, binary64 for 8 bytes, and the
// binary records of the bytes' width. Unranked.
void append_byte_readings(std::vector<Candidate>& out, std::span<const uint8_t> bytes, const ReadOptions& options,
                          std::optional<ByteOrder> byte_order);

// Bytes whose every nibble is a decimal digit, read as the number the digits
// spell, first byte first, through the families that store their fields as
// such digits (BCD pairs, GSM semi-octets): a sequence of digits, so no byte
// order applies. Nothing for other bytes. Unranked.
void append_digit_byte_readings(std::vector<Candidate>& out, std::span<const uint8_t> bytes, const ReadOptions& options);

}  // namespace epochsift
