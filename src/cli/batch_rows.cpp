#include "cli/batch_rows.hpp"

#include <optional>
#include <vector>

#include "cli/delimited.hpp"
#include "cli/utf8.hpp"
#include "engine/request.hpp"
#include "output/reading_json.hpp"
#include "output/zoned_json.hpp"

namespace epochsift::cli {

namespace {

bool whole_line(const RecordFormat& format) { return format.fields.empty(); }

// The cells added for each field read: format, UTC text, the zone's local
// text with --tz, score.
constexpr std::string_view CELLS[] = {"_format", "_utc", "_local", "_score"};

bool shows_local(const RecordFormat& format) { return format.read.zones.display != nullptr; }

// What a row shows of one field's best reading.
struct BestReading {
    std::string format_id;
    std::string utc;
    std::string local;
    std::optional<double> score;
};

BestReading best_of(std::string_view value, const RecordFormat& format) {
    BestReading out;
    // The best reading, seen through the zones (a fold gives its earlier instant first).
    Request request = Request::of_text(value, format.read);
    request.best = 1;
    Readings const readings = read(request);
    if (readings.ranked.empty()) return out;
    const Candidate& best = readings.ranked.front();
    out.format_id = best.format_id();
    if (auto const text = best.rendered()) out.utc = text->view();
    if (!readings.zones.empty() && readings.zones.front().display) {
        LocalTime const& display = *readings.zones.front().display;
        if (auto const local = local_time_text(display)) out.local = *local + " " + display.abbreviation;
    }
    out.score = best.score;
    return out;
}

// The value of field `number` (from 1), or the whole record; nothing when
// the record has no such field.
std::optional<std::string_view> field_value(std::string_view record, std::size_t number, const RecordFormat& format,
                                            std::string& scratch) {
    if (number == 0) return record;
    return field_of(record, number, format.delimiter, scratch);
}

// A cell in the record's own delimiter, quoted as CSV quotes.
void append_cell(std::string& out, std::string_view text, const RecordFormat& format) {
    out += whole_line(format) ? std::string_view(",") : std::string_view(format.delimiter);
    if (format.delimiter == "," || whole_line(format)) {
        append_csv_field(out, text);
        return;
    }
    bool const quote = text.find(format.delimiter) != std::string_view::npos ||
                       text.find_first_of("\"\r\n") != std::string_view::npos;
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void append_fields_json(std::string& out, std::string_view record, const RecordFormat& format) {
    out += '[';
    if (whole_line(format)) {
        append_json_string(out, record);
    } else {
        std::string scratch;
        for (std::size_t number = 1;; ++number) {
            auto const field = field_of(record, number, format.delimiter, scratch);
            if (!field) break;
            if (number != 1) out += ',';
            if (is_valid_utf8(*field)) append_json_string(out, *field);
            else out += "null";
        }
    }
    out += ']';
}

}  // namespace

HeaderOutcome settle_header(std::string_view first, RecordFormat& format) {
    HeaderOutcome out;
    bool named = false;
    for (const ColumnRef& ref : format.fields) named = named || ref.number == 0;
    std::string scratch;
    if (format.header == HeaderMode::Yes || named) {
        out.is_header = true;
    } else if (format.header == HeaderMode::Auto) {
        // A header names the fields: every field read is there, and none reads as a timestamp.
        out.is_header = true;
        for (std::size_t i = 0; i < std::max<std::size_t>(format.fields.size(), 1) && out.is_header; ++i) {
            std::size_t const number = whole_line(format) ? 0 : format.fields[i].number;
            auto const value = field_value(first, number, format, scratch);
            out.is_header = value && !value->empty() && is_valid_utf8(*value) &&
                            read(Request::of_text(*value, format.read)).ranked.empty();
        }
    }
    if (named && format.header == HeaderMode::No) {
        out.error = "--column names a field, but --header no says the first line names none";
        return out;
    }
    // Resolve names to numbers, and name every field read.
    std::vector<std::string> header_fields;
    if (out.is_header) {
        for (std::size_t number = 1;; ++number) {
            auto const field = whole_line(format) ? (number == 1 ? std::optional(first) : std::nullopt)
                                                  : field_of(first, number, format.delimiter, scratch);
            if (!field) break;
            header_fields.emplace_back(*field);
        }
    }
    format.names.clear();
    if (whole_line(format)) {
        format.names.push_back(out.is_header && !header_fields.empty() ? header_fields.front() : std::string("value"));
        return out;
    }
    for (ColumnRef& ref : format.fields) {
        if (ref.number == 0) {
            for (std::size_t i = 0; i < header_fields.size() && ref.number == 0; ++i) {
                if (header_fields[i] == ref.name) ref.number = i + 1;
            }
            if (ref.number == 0) {
                out.error = "--column: the header has no field named '" + std::string(ref.name) + "'";
                return out;
            }
        }
        bool const has_name = ref.number <= header_fields.size() && !header_fields[ref.number - 1].empty();
        format.names.push_back(has_name ? header_fields[ref.number - 1] : "field" + std::to_string(ref.number));
    }
    return out;
}

void append_header_row(std::string& out, std::string_view record, const RecordFormat& format) {
    if (format.output == BatchOutput::RowsJson) return;  // JSON rows carry their field numbers and names
    if (whole_line(format)) append_csv_field(out, record);
    else out += record;
    for (const std::string& name : format.names) {
        for (std::string_view cell : CELLS) {
            if (cell == "_local" && !shows_local(format)) continue;
            append_cell(out, name + std::string(cell), format);
        }
    }
    append_cell(out, "error", format);
    out += '\n';
}

bool append_row(std::string& out, std::string& problem, std::string_view record, uint64_t line_number,
                const RecordFormat& format, std::string& scratch) {
    std::string error;
    std::vector<BestReading> best;
    std::size_t const count = std::max<std::size_t>(format.fields.size(), 1);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t const number = whole_line(format) ? 0 : format.fields[i].number;
        auto const value = field_value(record, number, format, scratch);
        if (!value || !is_valid_utf8(*value)) {
            if (error.empty()) {
                error = !value ? "no field " + std::to_string(number)
                        : number == 0 ? std::string("invalid UTF-8")
                                      : "field " + std::to_string(number) + " is not valid UTF-8";
            }
            best.emplace_back();
            continue;
        }
        best.push_back(best_of(*value, format));
    }
    if (format.output == BatchOutput::RowsJson) {
        out += "{\"line\":";
        append_json_integer(out, line_number);
        out += ",\"fields\":";
        if (is_valid_utf8(record)) append_fields_json(out, record, format);
        else out += "null";
        out += ",\"readings\":[";
        for (std::size_t i = 0; i < best.size(); ++i) {
            if (i != 0) out += ',';
            out += "{\"field\":";
            if (whole_line(format)) out += "null";
            else append_json_integer(out, format.fields[i].number);
            out += ",\"name\":";
            append_json_string(out, i < format.names.size() ? std::string_view(format.names[i]) : "value");
            out += ",\"format_id\":";
            if (best[i].score) append_json_string(out, best[i].format_id);
            else out += "null";
            out += ",\"rendered\":";
            if (!best[i].utc.empty()) append_json_string(out, best[i].utc);
            else out += "null";
            if (shows_local(format)) {
                out += ",\"local\":";
                if (!best[i].local.empty()) append_json_string(out, best[i].local);
                else out += "null";
            }
            out += ",\"score\":";
            if (best[i].score) append_json_double(out, *best[i].score);
            else out += "null";
            out += '}';
        }
        out += ']';
        if (!error.empty()) {
            out += ",\"error\":";
            append_json_string(out, error);
        }
        out += "}\n";
    } else {
        if (whole_line(format)) append_csv_field(out, record);
        else out += record;
        for (const BestReading& reading : best) {
            append_cell(out, reading.format_id, format);
            append_cell(out, reading.utc, format);
            if (shows_local(format)) append_cell(out, reading.local, format);
            std::string score;
            if (reading.score) append_json_double(score, *reading.score);  // the JSON digits: never a comma
            append_cell(out, score, format);
        }
        append_cell(out, error, format);
        out += '\n';
    }
    if (error.empty()) return true;
    problem = error;
    return false;
}

void append_overlong_row(std::string& out, uint64_t line_number, std::string_view error, const RecordFormat& format) {
    if (format.output == BatchOutput::RowsJson) {
        out += "{\"line\":";
        append_json_integer(out, line_number);
        out += ",\"fields\":null,\"readings\":[],\"error\":";
        append_json_string(out, error);
        out += "}\n";
        return;
    }
    // The record's text was dropped: an empty field stands for it.
    std::size_t const cells = std::max<std::size_t>(format.fields.size(), 1) * (shows_local(format) ? 4 : 3);
    for (std::size_t i = 0; i < cells; ++i) append_cell(out, "", format);
    append_cell(out, error, format);
    out += '\n';
}

}  // namespace epochsift::cli
