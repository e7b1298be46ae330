#include "output/json_string.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/instant.hpp"
#include "output/json_sink.hpp"

namespace epochsift {

namespace {

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

char* put_escape(char* p, unsigned char c) {
    *p++ = '\\';
    switch (c) {
        case '"': *p++ = '"'; return p;
        case '\\': *p++ = '\\'; return p;
        case '\b': *p++ = 'b'; return p;
        case '\t': *p++ = 't'; return p;
        case '\n': *p++ = 'n'; return p;
        case '\f': *p++ = 'f'; return p;
        case '\r': *p++ = 'r'; return p;
        default: {
            constexpr char HEX[] = "0123456789abcdef";
            char const escape[5] = {'u', '0', '0', HEX[c >> 4], HEX[c & 0xF]};
            std::memcpy(p, escape, sizeof escape);
            return p + sizeof escape;
        }
    }
}

// Sixteen bytes compared lane by lane; GCC and Clang lower this to SSE2 or
// NEON without target-specific code.
using ByteBlock = unsigned char __attribute__((vector_size(16)));
constexpr std::size_t BLOCK = sizeof(ByteBlock);

// Lane flags (0xFF where a byte needs an escape) of a block, as a 128-bit
// mask with lane k in bits 8k to 8k+7.
u128 escape_lanes(ByteBlock block) {
    auto const lanes = (block < 0x20) | (block == '"') | (block == '\\');
    uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return u128{halves[1]} << 64 | halves[0];
}

// The same for eight bytes, lane k flagged by bit 8k+7. The lowest flag is
// always a true one: a false flag only sits above a true one.
uint64_t escape_lanes(uint64_t word) {
    constexpr uint64_t ONES = 0x0101'0101'0101'0101;
    uint64_t const quote = word ^ (ONES * '"');
    uint64_t const backslash = word ^ (ONES * '\\');
    return ((word - ONES * 0x20) | (quote - ONES) | (backslash - ONES)) & ~word & (ONES * 0x80);
}

// The first flagged lane of a non-zero 128-bit mask.
std::size_t first_lane(u128 lanes) {
    auto const low = static_cast<uint64_t>(lanes);
    return low != 0 ? static_cast<std::size_t>(std::countr_zero(low)) / 8
                    : 8 + static_cast<std::size_t>(std::countr_zero(static_cast<uint64_t>(lanes >> 64))) / 8;
}

// Copies text[0, n) to out up to the first byte that needs an escape and
// returns that byte's index, or n. Escapes are rare, so it moves sixteen (or
// eight) bytes at a time, testing each block as it goes, and ends on a block
// that overlaps the bytes already done; it reads and writes nothing outside
// text[0, n) and out[0, n). Past the returned index, out holds scratch.
std::size_t copy_until_escape(char* out, const char* text, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= BLOCK) {
            ByteBlock block;
            std::size_t i = 0;
            for (; i + BLOCK <= n; i += BLOCK) {
                std::memcpy(&block, text + i, BLOCK);
                std::memcpy(out + i, &block, BLOCK);
                if (u128 const lanes = escape_lanes(block); lanes != 0) return i + first_lane(lanes);
            }
            if (i == n) return n;
            std::memcpy(&block, text + n - BLOCK, BLOCK);
            std::memcpy(out + n - BLOCK, &block, BLOCK);
            u128 const rest = escape_lanes(block) >> (8 * (i - (n - BLOCK)));  // drop the lanes done
            return rest != 0 ? i + first_lane(rest) : n;
        }
        if (n >= 8) {
            uint64_t word;
            std::memcpy(&word, text, sizeof word);
            std::memcpy(out, &word, sizeof word);
            if (uint64_t const lanes = escape_lanes(word); lanes != 0) return std::countr_zero(lanes) / 8;
            if (n == 8) return n;
            std::memcpy(&word, text + n - 8, sizeof word);
            std::memcpy(out + n - 8, &word, sizeof word);
            uint64_t const rest = escape_lanes(word) >> (8 * (16 - n));  // drop the lanes below 8
            return rest != 0 ? 8 + std::countr_zero(rest) / 8 : n;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (needs_escape(static_cast<unsigned char>(text[i]))) return i;
        out[i] = text[i];
    }
    return n;
}

}  // namespace

// A text is copied whole up to its first escape; only the rest of a text
// that needs one goes byte by byte.
char* put_escaped(char* p, std::string_view text) {
    std::size_t const clean = copy_until_escape(p, text.data(), text.size());
    p += clean;
    for (std::size_t i = clean; i < text.size(); ++i) {
        auto const c = static_cast<unsigned char>(text[i]);
        if (needs_escape(c)) {
            p = put_escape(p, c);
        } else {
            *p++ = static_cast<char>(c);
        }
    }
    return p;
}

void append_json_string(std::string& out, std::string_view text) {
    JsonSink sink(out);
    sink.advance_to(put_json_string(sink.room(max_json_string_size(text)), text));
}

}  // namespace epochsift
