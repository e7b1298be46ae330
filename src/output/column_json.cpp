#include "output/column_json.hpp"

#include "output/reading_json.hpp"

namespace epochsift {

void append_json_verdicts(std::string& out, std::span<const ColumnVerdict> verdicts) {
    out += '[';
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        ColumnVerdict const& v = verdicts[i];
        if (i != 0) out += ',';
        out += "{\"format_id\":";
        append_json_string(out, v.format_id());
        out += ",\"label\":";
        append_json_string(out, v.label());
        if (v.byte_order) out += *v.byte_order == ByteOrder::Little ? ",\"byte_order\":\"little\"" : ",\"byte_order\":\"big\"";
        out += ",\"score\":";
        append_json_double(out, v.score);
        out += ",\"read\":";
        append_json_integer(out, v.read);
        out += ",\"in_window\":";
        append_json_integer(out, v.in_window);
        out += ",\"ordered\":";
        append_json_double(out, v.ordered);
        out += ",\"first\":";
        append_json_integer(out, v.first.ns);
        out += ",\"last\":";
        append_json_integer(out, v.last.ns);
        out += ",\"earliest\":";
        append_json_integer(out, v.earliest.ns);
        out += ",\"latest\":";
        append_json_integer(out, v.latest.ns);
        out += '}';
    }
    out += ']';
}

std::string column_tallies_json(std::span<const ColumnTally> tallies) {
    std::string out = "[";
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        ColumnTally const& t = tallies[i];
        if (i != 0) out += ',';
        out += '[';
        append_json_integer(out, t.values);
        out += ',';
        append_json_double(out, t.log_likelihood);  // shortest round-trip digits: exact when read back
        for (uint64_t count : {t.read, t.in_window, t.pairs, t.ordered_pairs}) {
            out += ',';
            append_json_integer(out, count);
        }
        out += ',';
        append_json_integer(out, t.first.ns);
        out += ',';
        append_json_integer(out, t.last.ns);
        out += t.starts_read ? ",true" : ",false";
        out += t.ends_read ? ",true," : ",false,";
        append_json_integer(out, t.marked);
        out += ',';
        append_json_integer(out, t.earliest.ns);
        out += ',';
        append_json_integer(out, t.latest.ns);
        out += ']';
    }
    out += ']';
    return out;
}

std::string identify_column_json(std::span<const std::string_view> values, const ReadOptions& options) {
    std::string out;
    append_json_verdicts(out, identify_column(values, options));
    return out;
}

}  // namespace epochsift
