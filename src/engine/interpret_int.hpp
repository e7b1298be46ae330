// The integer path: one signed 64-bit value read in every numeric family.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

struct NumericFamily;

enum class ByteOrder : uint8_t { Little, Big };

// What a caller may know about where the value came from. The empty context
// (all absent) is what identify passes.
struct IntContext {
    std::optional<std::string_view> artifact_hint;
    std::span<const int64_t> neighbours;
    std::optional<ByteOrder> byte_order;
    std::optional<uint8_t> byte_width;
};

// The readings of raw in table order, unranked.
void append_integer_readings(std::vector<Candidate>& out, int64_t raw, const IntContext& context);

// The same, ranked.
std::vector<Candidate> interpret_int_with_context(int64_t raw, const IntContext& context);

// At most one reading of raw in one numeric family.
std::optional<Candidate> build_candidate(const NumericFamily& family, int64_t raw, const IntContext& context);

}  // namespace epochsift
