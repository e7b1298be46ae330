// The packed layouts' quick tests against their decoders: a value the
// decoder reads always passes them (else a reading would be lost), and a
// value they pass fails the decoder only for what they leave to it (a
// month's length, the calendar's range), so they turn away nearly all that
// it does. Values: each layout's encodings of instants across its years,
// those with one bit flipped or one byte replaced (every field crossed past
// its range one at a time), random values of every width and sign, and the
// ends of the layouts' raw spans.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "formats/packed_codecs.hpp"

namespace epochsift {
namespace {

std::vector<int64_t> values_for(PackedCodec codec, std::mt19937_64& rng) {
    std::vector<int64_t> values;
    auto const encode = PACKED_ENCODERS[static_cast<std::size_t>(codec)];
    // 1900 to 2230, where every layout's years lie, and the whole calendar.
    std::uniform_int_distribution<int64_t> typical(-2'208'988'800, 8'200'000'000);
    std::uniform_int_distribution<int64_t> anywhere(-62'000'000'000, 253'000'000'000);
    for (int i = 0; i < 6'000; ++i) {
        auto const encoded = encode(PosixNs::from_seconds(i % 4 == 0 ? anywhere(rng) : typical(rng)));
        if (!encoded) continue;
        auto const raw = static_cast<int64_t>(*encoded);
        values.push_back(raw);
        values.push_back(static_cast<int64_t>(*encoded ^ (uint64_t{1} << (rng() % 64))));
        unsigned const byte = static_cast<unsigned>(rng() % 8);
        values.push_back(static_cast<int64_t>((*encoded & ~(uint64_t{0xFF} << (8 * byte))) | (rng() % 256) << (8 * byte)));
    }
    for (int i = 0; i < 6'000; ++i) {
        auto const n = static_cast<int64_t>(rng() >> (rng() % 64));
        values.push_back(i % 3 == 0 ? -n : n);
    }
    for (PackedRawSpan const& span : PACKED_RAW_SPANS[static_cast<std::size_t>(codec)]) {
        if (span.first > span.last) continue;
        for (int64_t raw : {span.first, span.last}) {
            values.push_back(raw);
            if (raw > std::numeric_limits<int64_t>::min()) values.push_back(raw - 1);
            if (raw < std::numeric_limits<int64_t>::max()) values.push_back(raw + 1);
        }
    }
    return values;
}

TEST(PackedFieldRanges, PassEveryValueTheDecoderReadsAndTurnAwayNearlyAllOthers) {
    std::mt19937_64 rng(20261208);
    for (std::size_t code = 0; code < PACKED_CODEC_COUNT; ++code) {
        auto const codec = static_cast<PackedCodec>(code);
        auto const decode = PACKED_DECODERS[code];
        std::size_t passed = 0;
        std::size_t passed_and_read = 0;
        for (int64_t raw : values_for(codec, rng)) {
            auto const decoded = decode(raw);
            bool const may = packed_fields_may_decode(codec, raw);
            bool const spanned = packed_may_decode_between(codec, raw, raw);
            if (decoded) {
                EXPECT_TRUE(may) << code << " " << raw;
                EXPECT_TRUE(spanned) << code << " " << raw;
            }
            if (!may) continue;
            ++passed;
            if (decoded) {
                ++passed_and_read;
            } else if (codec != PackedCodec::DotnetBinary) {
                // Width, sign, kind and ticks are the quick tests' own: only the calendar is left.
                EXPECT_EQ(decoded.error().kind, CodecError::Kind::Calendar) << code << " " << raw;
            }
        }
        ASSERT_GT(passed, 1'000u) << code;
        // .NET's ticks past year 9999 are left to its decoder: a third of its values.
        if (codec == PackedCodec::DotnetBinary) continue;
        // A month's length (the 31st of a short month) turns away well under
        // one in a hundred of these; a field left unchecked, several.
        EXPECT_GE(passed_and_read * 100, passed * 99) << code << ": " << passed_and_read << " of " << passed;
    }
}

}  // namespace
}  // namespace epochsift
