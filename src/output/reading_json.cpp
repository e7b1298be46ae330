#include "output/reading_json.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/identify.hpp"
#include "output/json_buffer.hpp"
#include "output/reading_fields.hpp"
#include "output/json_sink.hpp"
#include "output/reading_text.hpp"
#include "output/row_json.hpp"
#include "output/zoned_json.hpp"

namespace epochsift {

namespace {

constexpr bool plain_json_text(std::string_view text) {
    for (char const c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') return false;
    }
    return true;
}

// The constant notes and the component names are written between quotes as
// they stand.
static_assert([] {
    for (unsigned i = 0; i < NOTE_COUNT; ++i) {
        if (!plain_json_text(constant_note_text(static_cast<Note>(i)))) return false;
    }
    for (std::string_view name : COMPONENT_NAMES) {
        if (!plain_json_text(name)) return false;
    }
    return true;
}());

// Fixed texts are copied as whole blocks of this many bytes, the cursor then
// moving by the text's length: the room asked for includes the overhang.
constexpr std::size_t BLOCK = 32;

// `,["name",` for each component, in a block, and the whole
// `,["name",V]` for the values most components have (1, 0, one half, and
// the extended priors below 1), whose texts need no digit search. The copy
// starts one byte in for the first component (no comma): a block holds
// BLOCK + 1 bytes so both copies are BLOCK bytes.
enum class CommonValue : uint8_t { One, Zero, Half, Prior08, Prior06, Prior04, None };
constexpr std::size_t COMMON_VALUES = static_cast<std::size_t>(CommonValue::None);
constexpr std::array<double, COMMON_VALUES> COMMON_VALUE_NUMBERS = {1.0, 0.0, 0.5, 0.8, 0.6, 0.4};
constexpr std::array<std::string_view, COMMON_VALUES> COMMON_VALUE_TEXTS = {"1.0]", "0.0]", "0.5]",
                                                                           "0.8]", "0.6]", "0.4]"};

struct ComponentOpening {
    char text[BLOCK + 1];
    uint8_t length;
};
using ComponentOpenings = std::array<ComponentOpening, COMMON_VALUES + 1>;  // by CommonValue
constexpr std::array<ComponentOpenings, COMPONENT_COUNT> COMPONENT_OPENINGS = [] {
    std::array<ComponentOpenings, COMPONENT_COUNT> openings{};
    for (std::size_t i = 0; i < COMPONENT_COUNT; ++i) {
        for (std::size_t v = 0; v <= COMMON_VALUES; ++v) {
            char* p = openings[i][v].text;
            std::size_t n = 0;
            for (char c : std::string_view(",[\"")) p[n++] = c;
            for (char c : COMPONENT_NAMES[i]) p[n++] = c;
            for (char c : std::string_view("\",")) p[n++] = c;
            if (v < COMMON_VALUE_TEXTS.size()) {
                for (char c : COMMON_VALUE_TEXTS[v]) p[n++] = c;
            }
            openings[i][v].length = static_cast<uint8_t>(n);
        }
    }
    return openings;
}();
static_assert([] {
    for (std::string_view name : COMPONENT_NAMES) {
        if (name.size() + 5 + 4 > BLOCK) return false;
    }
    return true;
}());

// Which block value is, by its bits: -0.0 is not 0.0 here.
CommonValue common_value(double value) {
    auto const bits = std::bit_cast<uint64_t>(value);
    for (std::size_t v = 0; v < COMMON_VALUES; ++v) {
        if (bits == std::bit_cast<uint64_t>(COMMON_VALUE_NUMBERS[v])) return static_cast<CommonValue>(v);
    }
    return CommonValue::None;
}

// Writes `,["name",` (and the value with its `]` when it is common) at p;
// skip is 1 for the first component.
char* put_block(char* p, const ComponentOpening& opening, std::size_t skip) {
    std::memcpy(p, opening.text + skip, BLOCK);
    return p + (opening.length - skip);
}

// A note's pieces written as one JSON string.
char* put_json_string_pieces(char* p, const NotePieces& note) {
    *p++ = '"';
    for (std::size_t i = 0; i < note.count; ++i) p = put_escaped(p, note.parts[i]);
    *p++ = '"';
    return p;
}

// The member names and punctuation of one candidate's object.
constexpr std::string_view CANDIDATE_FRAME_TEXT =
    "{\"format_id\":,\"label\":,\"citation\":,\"instant\":,\"rendered\":null,\"score\":"
    ",\"components\":[],\"assumptions\":[],\"sentinel\":false}";
constexpr std::size_t CANDIDATE_FRAME = CANDIDATE_FRAME_TEXT.size();
// The member written after the score when the reading has a confidence.
constexpr std::string_view CONFIDENCE_MEMBER = ",\"confidence\":";
static_assert(READING_FIELD_NAMES[static_cast<std::size_t>(ReadingField::Confidence)] == "confidence" &&
              static_cast<std::size_t>(ReadingField::Confidence) == static_cast<std::size_t>(ReadingField::Score) + 1);

// The frame names the reading's fields, in their order: put_json_candidate
// writes the same members in the same order (and the row fragments the
// first three).
consteval bool frame_names_every_field() {
    std::size_t at = 0;
    for (std::size_t i = 0; i < READING_FIELD_COUNT; ++i) {
        std::string_view const name = READING_FIELD_NAMES[i];
        // An extended-only member is written between its neighbours when the reading has it.
        if (extended_only_field(static_cast<ReadingField>(i))) continue;
        std::size_t const found = CANDIDATE_FRAME_TEXT.find(name, at);
        if (found == std::string_view::npos || CANDIDATE_FRAME_TEXT[found - 1] != '"' ||
            CANDIDATE_FRAME_TEXT.substr(found + name.size(), 2) != "\":") {
            return false;
        }
        at = found + name.size();
    }
    return true;
}
static_assert(frame_names_every_field());

// The most a candidate's text can take: every byte of every variable text
// escaped, every number at its widest, and a block's overhang.
std::size_t max_json_size(const Candidate& c, const RowJson& row) {
    std::size_t size = CANDIDATE_FRAME + BLOCK + MAX_INTEGER_LEN + 2 * MAX_DOUBLE_LEN + CONFIDENCE_MEMBER.size() +
                       RFC3339_MAX_LEN + 2 +
                       c.components.size() * (BLOCK + MAX_DOUBLE_LEN + 1);
    size += row.head.size();
    char digits[NOTE_DIGITS];
    c.notes.for_each([&](Note note) {
        if (std::string_view const text = constant_note_text(note); !text.empty()) {
            size += text.size() + 3;
        } else if (note == Note::ConsistentWith) {
            size += row.consistent.size() + 1;
        } else {
            size += note_pieces(c, note, digits).size() * MAX_ESCAPE_GROWTH + 3;
        }
    });
    return size;
}

// Writes one candidate at p, which has room for max_json_size(c, row).
// A reading's members from its opening brace, and the closing brace when
// Close (the zoned writer adds members before it).
template <bool Close>
char* put_json_members(char* p, const Candidate& c, const RowJson& row, RecentDoubles& recent_doubles) {
    p = put_text_blocks(p, row.head);
    p = put_json_integer(p, c.instant.ns);
    p = put_literal(p, ",\"rendered\":");
    // The text is ASCII digits and separators, written in place: no escaping.
    *p = '"';
    if (std::size_t const length = c.instant.write_rfc3339(p + 1); length != 0) {
        p += 1 + length;
        *p++ = '"';
    } else {
        p = put_literal(p, "null");
    }
    p = put_literal(p, ",\"score\":");
    p = put_json_double(p, c.score, recent_doubles);
    if (c.has_confidence()) {
        p = put_literal(p, CONFIDENCE_MEMBER);
        p = put_json_double(p, c.confidence, recent_doubles);
    }
    p = put_literal(p, ",\"components\":[");
    for (std::size_t i = 0; i < c.components.size(); ++i) {
        double const value = c.components[i].value;
        CommonValue const common = common_value(value);
        p = put_block(p, COMPONENT_OPENINGS[static_cast<std::size_t>(c.components[i].kind)][static_cast<std::size_t>(common)],
                      i == 0 ? 1 : 0);
        if (common == CommonValue::None) {
            p = put_json_double(p, value, recent_doubles);
            *p++ = ']';
        }
    }
    p = put_literal(p, "],\"assumptions\":[");
    bool first = true;
    char digits[NOTE_DIGITS];
    c.notes.for_each([&](Note note) {
        if (!first) *p++ = ',';
        first = false;
        if (std::string_view const text = constant_note_text(note); !text.empty()) {
            *p++ = '"';
            p = put_text_blocks(p, text);
            *p++ = '"';
        } else if (note == Note::ConsistentWith) {
            p = put_text_blocks(p, row.consistent);
        } else {
            p = put_json_string_pieces(p, note_pieces(c, note, digits));
        }
    });
    if constexpr (Close) {
        return put_literal(p, c.facts.sentinel ? std::string_view("],\"sentinel\":true}")
                                               : std::string_view("],\"sentinel\":false}"));
    } else {
        return put_literal(p, c.facts.sentinel ? std::string_view("],\"sentinel\":true")
                                               : std::string_view("],\"sentinel\":false"));
    }
}

char* put_json_candidate(char* p, const Candidate& c, const RowJson& row, RecentDoubles& recent_doubles) {
    return put_json_members<true>(p, c, row, recent_doubles);
}

// The usual length of a reading's text and room for the most one reading
// can take past it, to size the buffer once.
constexpr std::size_t USUAL_READING_SIZE = 800;

}  // namespace

void write_json_candidates(JsonBuffer& out, std::span<const Candidate> candidates) {
    RecentDoubles& recent_doubles = thread_recent_doubles();
    out.room(2 + candidates.size() * USUAL_READING_SIZE);
    char* p = out.room(1);
    *p++ = '[';
    out.advance_to(p);
    RowJson const* const rows = row_json_rows();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        RowJson const& row = rows[candidates[i].format.index()];
        p = out.room(1 + max_json_size(candidates[i], row));
        if (i != 0) *p++ = ',';
        out.advance_to(put_json_candidate(p, candidates[i], row, recent_doubles));
    }
    p = out.room(1);
    *p++ = ']';
    out.advance_to(p);
}

namespace {

// The readings with their zone members.
[[gnu::noinline]] void write_zoned_json(JsonBuffer& out, const Readings& readings) {
    RecentDoubles& recent_doubles = thread_recent_doubles();
    RowJson const* const rows = row_json_rows();
    std::string zone_members;
    char* p = out.room(1);
    *p++ = '[';
    out.advance_to(p);
    for (std::size_t i = 0; i < readings.ranked.size(); ++i) {
        Candidate const& reading = readings.ranked[i];
        RowJson const& row = rows[reading.format.index()];
        zone_members.clear();
        append_zone_members(zone_members, readings.zones[i], readings.zone_choice);
        p = out.room(2 + max_json_size(reading, row) + zone_members.size());
        if (i != 0) *p++ = ',';
        p = put_json_members<false>(p, reading, row, recent_doubles);
        p = std::copy(zone_members.begin(), zone_members.end(), p);
        *p++ = '}';
        out.advance_to(p);
    }
    p = out.room(1);
    *p++ = ']';
    out.advance_to(p);
}

}  // namespace

void write_json_readings(JsonBuffer& out, const Readings& readings) {
    if (readings.zones.empty()) return write_json_candidates(out, readings.ranked);
    write_zoned_json(out, readings);
}

void append_json_readings(std::string& out, const Readings& readings) {
    JsonBuffer buffer;
    write_json_readings(buffer, readings);
    out.append(buffer.view());
}

void append_json_candidate(std::string& out, const Candidate& c) {
    RowJson const& row = row_json(c.format);
    JsonBuffer buffer;
    buffer.advance_to(put_json_candidate(buffer.room(max_json_size(c, row)), c, row, thread_recent_doubles()));
    out.append(buffer.view());
}

void append_json_candidates(std::string& out, std::span<const Candidate> candidates) {
    JsonBuffer buffer;
    write_json_candidates(buffer, candidates);
    out.append(buffer.view());
}

std::string identify_json(std::string_view value) { return identify_json(value, ReadOptions{}); }

std::string identify_json(std::string_view value, const ReadOptions& options) {
    std::vector<Candidate> const readings = identify(value, options);
    std::string out;
    append_json_candidates(out, readings);
    return out;
}

std::string identify_bytes_json(std::span<const uint8_t> bytes, const ReadOptions& options,
                                std::optional<ByteOrder> byte_order) {
    std::vector<Candidate> const readings = identify_bytes(bytes, options, byte_order);
    std::string out;
    append_json_candidates(out, readings);
    return out;
}

}  // namespace epochsift
