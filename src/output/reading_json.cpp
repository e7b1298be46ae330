#include "output/reading_json.hpp"

#include "engine/identify.hpp"
#include "output/reading_text.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace epochsift {

namespace {

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// The widest escape, \u00XX, is six bytes for one.
constexpr std::size_t MAX_ESCAPE_GROWTH = 6;
// "-" and the 39 digits of 2^127.
constexpr std::size_t MAX_INTEGER_LEN = 40;
// "-0.00000" and 17 digits, or 17 digits, ".", "e-" and 3 exponent digits.
constexpr std::size_t MAX_DOUBLE_LEN = 32;

// The readings of one value repeat their scores and distances, so the
// last few number texts are kept, direct-mapped on the value's bits.
struct RecentDouble {
    uint64_t bits = 0;
    uint8_t length = 0;  // 0: nothing kept yet
    char text[MAX_DOUBLE_LEN];
};
struct RecentDoubles {
    std::array<RecentDouble, 8> slots{};
    RecentDouble& slot(double value) { return slots[(std::bit_cast<uint64_t>(value) * 0x9E37'79B9'7F4A'7C15u) >> 61]; }
};

// Writes into the string's own storage: a writer asks for room for the most
// a piece can take, writes through a plain pointer and moves the cursor;
// the string's length is set once at the end. The bytes between the cursor
// and the end are scratch.
class JsonSink {
public:
    explicit JsonSink(std::string& out) : out_(out) {
        std::size_t const used = out.size();
        out.resize(std::max(out.capacity(), used + 16));
        cursor_ = out.data() + used;
    }
    JsonSink(const JsonSink&) = delete;
    JsonSink& operator=(const JsonSink&) = delete;
    ~JsonSink() { out_.resize(static_cast<std::size_t>(cursor_ - out_.data())); }

    // Room for n more bytes; the text grows at least twofold when it must.
    char* room(std::size_t n) {
        std::size_t const used = static_cast<std::size_t>(cursor_ - out_.data());
        if (out_.size() - used < n) {
            out_.resize(std::max(out_.size() * 2, used + n));
            cursor_ = out_.data() + used;
        }
        return cursor_;
    }
    void advance_to(char* p) { cursor_ = p; }

private:
    std::string& out_;
    char* cursor_;
};

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

// Writes text escaped, without quotes, at p (room for MAX_ESCAPE_GROWTH
// bytes a byte) and returns the end. A text is copied whole up to its first
// escape; only the rest of a text that needs one goes byte by byte.
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

// Writes text as a JSON string at p (room for max_json_string_size).
char* put_json_string(char* p, std::string_view text) {
    *p++ = '"';
    p = put_escaped(p, text);
    *p++ = '"';
    return p;
}

// A note's pieces written as one JSON string.
char* put_json_string_pieces(char* p, const NotePieces& note) {
    *p++ = '"';
    for (std::size_t i = 0; i < note.count; ++i) p = put_escaped(p, note.parts[i]);
    *p++ = '"';
    return p;
}

constexpr std::size_t max_json_string_size(std::string_view text) { return text.size() * MAX_ESCAPE_GROWTH + 2; }

char* put_literal(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// "00" to "99": the decimal digits go out two at a time.
constexpr std::array<char, 200> DIGIT_PAIRS = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the digits of value so that they end at end; returns their start.
char* put_digits_before(char* end, uint64_t value) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, &DIGIT_PAIRS[2 * (value % 100)], 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, &DIGIT_PAIRS[2 * value], 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// Writes the exact decimal value at p (room for MAX_INTEGER_LEN).
char* put_json_integer(char* p, i128 value) {
    char buffer[MAX_INTEGER_LEN];
    char* const end = buffer + sizeof buffer;
    u128 magnitude = value < 0 ? u128(0) - static_cast<u128>(value) : static_cast<u128>(value);
    // Instants of the years 1677 to 2262 fit 64 bits; only the rest pay for
    // 128-bit divisions, nineteen digits at a time.
    constexpr uint64_t TEN_TO_19 = 10'000'000'000'000'000'000u;
    char* digit = end;
    while (magnitude > std::numeric_limits<uint64_t>::max()) {
        char* const chunk_end = digit;
        digit = put_digits_before(digit, static_cast<uint64_t>(magnitude % TEN_TO_19));
        while (digit > chunk_end - 19) *--digit = '0';  // an inner chunk keeps its leading zeros
        magnitude /= TEN_TO_19;
    }
    digit = put_digits_before(digit, static_cast<uint64_t>(magnitude));
    if (value < 0) *--digit = '-';
    return put_literal(p, std::string_view(digit, static_cast<std::size_t>(end - digit)));
}

// Writes the float rule's text of a finite, non-zero value at p.
char* put_shortest(char* p, double value) {
    // Shortest round-trip digits in scientific form: "-d.ddde+XX".
    char sci[32];
    char const* const sci_end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
    char const* s = sci;
    if (*s == '-') {
        *p++ = '-';
        ++s;
    }
    char digits[20];  // at most 17 significant digits
    std::size_t count = 0;
    for (; *s != 'e'; ++s) {
        if (*s != '.') digits[count++] = *s;
    }
    ++s;  // 'e'
    bool const negative_exponent = *s++ == '-';
    int exponent = 0;
    for (; s < sci_end; ++s) exponent = exponent * 10 + (*s - '0');
    if (negative_exponent) exponent = -exponent;

    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
            std::memcpy(p, digits, count);
            return p + count;
        }
        auto const integer_digits = static_cast<std::size_t>(exponent) + 1;
        if (count <= integer_digits) {
            std::memcpy(p, digits, count);
            p += count;
            for (std::size_t i = count; i < integer_digits; ++i) *p++ = '0';
            *p++ = '.';
            *p++ = '0';
            return p;
        }
        std::memcpy(p, digits, integer_digits);
        p += integer_digits;
        *p++ = '.';
        std::memcpy(p, digits + integer_digits, count - integer_digits);
        return p + (count - integer_digits);
    }
    *p++ = digits[0];
    if (count > 1) {
        *p++ = '.';
        std::memcpy(p, digits + 1, count - 1);
        p += count - 1;
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    return std::to_chars(p, p + 4, exponent < 0 ? -exponent : exponent).ptr;
}

// Writes the float rule's text, or null, at p (room for MAX_DOUBLE_LEN).
char* put_json_double(char* p, double value, RecentDoubles& recent_doubles) {
    // Most components are exactly 1, 0 or one half; their texts need no digit search.
    if (value == 1.0) return put_literal(p, "1.0");
    if (value == 0.0) return put_literal(p, std::signbit(value) ? "-0.0" : "0.0");
    if (value == 0.5) return put_literal(p, "0.5");
    if (!std::isfinite(value)) return put_literal(p, "null");
    RecentDouble& recent = recent_doubles.slot(value);
    if (recent.length == 0 || std::bit_cast<uint64_t>(value) != recent.bits) {
        recent.bits = std::bit_cast<uint64_t>(value);
        recent.length = static_cast<uint8_t>(put_shortest(recent.text, value) - recent.text);
    }
    return put_literal(p, std::string_view(recent.text, recent.length));
}

// The member names and punctuation of one candidate's object.
constexpr std::size_t CANDIDATE_FRAME =
    std::string_view("{\"format_id\":,\"label\":,\"citation\":,\"instant\":,\"rendered\":null,\"score\":"
                     ",\"components\":[],\"assumptions\":[],\"sentinel\":false}")
        .size();

// The length of a candidate's text when nothing in it needs escaping and the
// numbers are of the usual width; the text may come out longer.
std::size_t expected_json_size(const Candidate& c) {
    constexpr std::size_t USUAL_NUMBER = 20;
    std::size_t size = CANDIDATE_FRAME + 8 + USUAL_NUMBER * 2 + c.format_id.size() + c.label.size() +
                       c.citation.size() + (c.rendered ? c.rendered->size() : 0);
    for (const ScoreComponent& component : c.components) {
        size += component_name(component.kind).size() + 6 + USUAL_NUMBER;
    }
    for_each_note(c, [&](const NotePieces& note) { size += note.size() + 3; });
    return size;
}

// The most a candidate's text can take: every byte of every text escaped,
// every number at its widest.
std::size_t max_json_size(const Candidate& c) {
    std::size_t size = CANDIDATE_FRAME + MAX_INTEGER_LEN + MAX_DOUBLE_LEN + max_json_string_size(c.format_id) +
                       max_json_string_size(c.label) + max_json_string_size(c.citation) +
                       (c.rendered ? max_json_string_size(*c.rendered) : 0);
    for (const ScoreComponent& component : c.components) {
        size += max_json_string_size(component_name(component.kind)) + 4 + MAX_DOUBLE_LEN;
    }
    for_each_note(c, [&](const NotePieces& note) { size += note.size() * MAX_ESCAPE_GROWTH + 3; });
    return size;
}

// Writes one candidate at p, which has room for max_json_size(c).
char* put_json_candidate(char* p, const Candidate& c, RecentDoubles& recent_doubles) {
    p = put_literal(p, "{\"format_id\":");
    p = put_json_string(p, c.format_id);
    p = put_literal(p, ",\"label\":");
    p = put_json_string(p, c.label);
    p = put_literal(p, ",\"citation\":");
    p = put_json_string(p, c.citation);
    p = put_literal(p, ",\"instant\":");
    p = put_json_integer(p, c.instant.ns);
    p = put_literal(p, ",\"rendered\":");
    p = c.rendered ? put_json_string(p, *c.rendered) : put_literal(p, "null");
    p = put_literal(p, ",\"score\":");
    p = put_json_double(p, c.score, recent_doubles);
    p = put_literal(p, ",\"components\":[");
    for (std::size_t i = 0; i < c.components.size(); ++i) {
        p = put_literal(p, i == 0 ? std::string_view("[") : std::string_view(",["));
        p = put_json_string(p, component_name(c.components[i].kind));
        *p++ = ',';
        p = put_json_double(p, c.components[i].value, recent_doubles);
        *p++ = ']';
    }
    p = put_literal(p, "],\"assumptions\":[");
    bool first = true;
    for_each_note(c, [&](const NotePieces& note) {
        if (!first) *p++ = ',';
        first = false;
        p = put_json_string_pieces(p, note);
    });
    return put_literal(p, c.facts.sentinel ? std::string_view("],\"sentinel\":true}")
                                           : std::string_view("],\"sentinel\":false}"));
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    JsonSink sink(out);
    sink.advance_to(put_json_string(sink.room(max_json_string_size(text)), text));
}

void append_json_integer(std::string& out, i128 value) {
    JsonSink sink(out);
    sink.advance_to(put_json_integer(sink.room(MAX_INTEGER_LEN), value));
}

void append_json_double(std::string& out, double value) {
    JsonSink sink(out);
    RecentDoubles recent_doubles;
    sink.advance_to(put_json_double(sink.room(MAX_DOUBLE_LEN), value, recent_doubles));
}

void append_json_candidate(std::string& out, const Candidate& c) {
    JsonSink sink(out);
    RecentDoubles recent_doubles;
    sink.advance_to(put_json_candidate(sink.room(max_json_size(c)), c, recent_doubles));
}

void append_json_candidates(std::string& out, std::span<const Candidate> candidates) {
    JsonSink sink(out);
    std::size_t expected = 2;
    for (const Candidate& c : candidates) expected += expected_json_size(c);
    sink.room(expected);  // one allocation for the usual text
    RecentDoubles recent_doubles;
    sink.advance_to(put_literal(sink.room(1), "["));
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        char* p = sink.room(1 + max_json_size(candidates[i]));
        if (i != 0) *p++ = ',';
        sink.advance_to(put_json_candidate(p, candidates[i], recent_doubles));
    }
    sink.advance_to(put_literal(sink.room(1), "]"));
}

std::string identify_json(std::string_view value) {
    std::vector<Candidate> const readings = identify(value);
    std::string out;
    out.reserve(128);
    append_json_candidates(out, readings);
    return out;
}

}  // namespace epochsift
