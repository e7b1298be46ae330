#include "output/reading_json.hpp"

#include <string_view>

#include "engine/identify.hpp"
#include "output/json_sink.hpp"
#include "output/reading_text.hpp"

namespace epochsift {

namespace {

// A note's pieces written as one JSON string.
char* put_json_string_pieces(char* p, const NotePieces& note) {
    *p++ = '"';
    for (std::size_t i = 0; i < note.count; ++i) p = put_escaped(p, note.parts[i]);
    *p++ = '"';
    return p;
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
