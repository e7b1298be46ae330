// The runtime registry: one Format per TIME_FORMATS row, built once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "formats/codec_error.hpp"
#include "formats/packed_codecs.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

struct CodecPair {
    PackedDecoder decode;
    PackedEncoder encode;
};

struct Format {
    const TimeFormat* spec;         // the row; never copied
    std::optional<CodecPair> codec;  // present exactly for Packed rows

    // The instant raw denotes in this family; exact, never rounded.
    CodecResult<PosixNs> decode_int(int64_t raw) const;

    std::string_view id() const { return spec->id; }
    std::string_view label() const { return spec->label; }
    std::string_view source() const { return spec->source; }
    std::string_view citation() const { return spec->citation; }
    const Encoding& encoding() const { return spec->encoding; }
    PosixNs epoch() const { return spec->epoch; }
    PosixNs window_start() const { return spec->window_start; }
    PosixNs window_end() const { return spec->window_end; }
    bool local() const { return spec->local; }
    bool clock_policy_known() const { return spec->clock_policy_known; }
};

// FORMATS: the 45 records in table order. The first access builds them under
// a one-time guard (a function-local static); later accesses share them.
struct FormatsView {
    std::span<const Format> operator()() const;
    const Format* begin() const { return (*this)().data(); }
    const Format* end() const { return begin() + size(); }
    std::size_t size() const { return (*this)().size(); }
    const Format& operator[](std::size_t i) const { return (*this)()[i]; }
};
inline constexpr FormatsView FORMATS{};

}  // namespace epochsift
