#include "cli/batch_record.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "cli/batch_rows.hpp"
#include "cli/delimited.hpp"
#include "cli/utf8.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/request.hpp"
#include "formats/hex_bytes.hpp"
#include "output/json_number.hpp"
#include "output/reading_json.hpp"

namespace epochsift::cli {

namespace {

// Tells a set of readers from any made before it.
uint64_t next_serial() {
    static std::atomic<uint64_t> made{0};
    return ++made;
}

// The records list readings without zones.
ReadOptions without_zones(ReadOptions options) {
    options.zones = {};
    return options;
}

}  // namespace

LeadReaders::LeadReaders(FormatRef format, const ReadOptions& options)
    : verdict(format, options), ranked(options, 0), score_rank(format, options), serial(next_serial()) {
    append_csv_field(id_cell, format_id(format));
}

BestReaders::BestReaders(const ReadOptions& options, std::size_t best)
    : reader(without_zones(options), best), serial(next_serial()) {}

namespace {

// The commas of a CSV row's cells after its value, all empty.
std::string_view empty_cells(const RecordFormat& format) { return format.read.extended ? ",,,,,," : ",,,,,"; }

void append_failure(std::string& out, std::string_view error, uint64_t line_number, const RecordFormat& format) {
    if (format.output == BatchOutput::JsonLines) {
        out += "{\"value\":null,\"line\":";
        append_json_integer(out, line_number);
        out += ",\"error\":";
        append_json_string(out, error);
        out += ",\"readings\":[]}\n";
        return;
    }
    out += empty_cells(format);
    std::string cell(error);
    cell += " (line ";
    cell += std::to_string(line_number);
    cell += ')';
    append_csv_field(out, cell);
    out += '\n';
}

// A column of hex bytes holds values of digits alone too: those are read as
// bytes like the rest of the column, not as numbers.
std::vector<Candidate> read_value(std::string_view value, const RecordFormat& format) {
    Request request = Request::of_text(value, without_zones(format.read));
    if (format.lead_order) {
        if (auto const bytes = parse_field_digits(trim_white_space(value))) {
            request.bytes = bytes->view();
            return read(request).ranked;
        }
    }
    return read(request).ranked;
}

}  // namespace

std::vector<Candidate> ordered_readings(std::string_view value, const RecordFormat& format, std::size_t& lead,
                                        std::vector<std::size_t>* ranks) {
    std::vector<Candidate> readings = read_value(value, format);
    lead = 0;
    if (ranks != nullptr) {
        ranks->resize(readings.size());
        for (std::size_t i = 0; i < ranks->size(); ++i) (*ranks)[i] = i + 1;
    }
    if (!format.lead_format) return readings;
    std::vector<std::size_t> order(readings.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto const led = std::stable_partition(order.begin(), order.end(), [&](std::size_t i) {
        Candidate const& reading = readings[i];
        if (reading.format != *format.lead_format) return false;
        if (!format.lead_order || reading.layout.kind != InputLayout::Kind::Bytes) return true;
        return reading.layout.order_moot || reading.layout.order == *format.lead_order;
    });
    lead = static_cast<std::size_t>(led - order.begin());
    std::vector<Candidate> out;
    out.reserve(readings.size());
    for (std::size_t i : order) out.push_back(std::move(readings[i]));
    if (ranks != nullptr) {
        for (std::size_t i = 0; i < order.size(); ++i) (*ranks)[i] = order[i] + 1;
    }
    return out;
}

namespace {

// The row of a lead reading; plain_value says the value needs no quotes.
// The cells after the value are put together on the stack and appended once.
void append_lead_cells(std::string& out, std::string_view value, bool plain_value, std::size_t rank,
                       std::string_view id_cell, PosixNs instant, double score, const RecordFormat& format) {
    if (plain_value) out += value;
    else append_csv_field(out, value);
    constexpr std::size_t MOST_ID = 64;  // longer ids go on their own
    std::array<char, 1 + MAX_INTEGER_LEN + 1 + MOST_ID + 1 + RFC3339_MAX_LEN + 1 + MAX_DOUBLE_LEN + 3> cells;
    char* p = cells.data();
    *p++ = ',';
    p = put_json_integer(p, rank);
    *p++ = ',';
    if (id_cell.size() <= MOST_ID) {
        std::memcpy(p, id_cell.data(), id_cell.size());
        p += id_cell.size();
    } else {
        out.append(cells.data(), p);
        out += id_cell;
        p = cells.data();
    }
    *p++ = ',';
    // Digits, signs, T, colons, a point and Z: never quoted. 0: no text, an empty cell.
    p += instant.write_rfc3339(p);
    *p++ = ',';
    p = put_json_double(p, score, thread_recent_doubles());
    // Not every reading of the value is built here: its confidence is not known (an empty cell).
    if (format.read.extended) *p++ = ',';
    *p++ = ',';
    *p++ = '\n';
    out.append(cells.data(), p);
}

// The one CSV row of --by-column --best 1 for a value its format reads
// through its own path: that reading, with the rank it has among all the
// value's readings, found without building the readings below it. False,
// with nothing written, where the full reading decides.
bool append_lead_row(std::string& out, std::string_view value, const RecordFormat& format) {
    LeadReaders const& lead = *format.lead_readers;
    if (lead.score_rank.applies() && lead.verdict.reads_integers()) {
        // The format's instant and score, and the rank from the scores of
        // the families that reach it: no reading built. Only an integer's
        // text reaches the format's family; any other is read in full.
        std::string_view const text = trim_white_space(value);
        auto const integer = parse_integer(text);
        if (!integer) return false;
        // The family's scores kept over this thread's values of the run.
        thread_local std::optional<FamilyScoreMemo> memo;
        thread_local uint64_t memo_serial = 0;
        if (!memo || memo_serial != lead.serial) {
            memo.emplace(lead.verdict.score_memo());
            memo_serial = lead.serial;
        }
        auto const scored = lead.verdict.score_integer(*integer, *memo);
        if (!scored) return false;
        if (auto const rank = lead.score_rank.rank(*integer, text, scored->score)) {
            // An integer's text is a sign and digits: untrimmed, the value needs no quotes.
            bool const plain = text.size() == value.size();
            append_lead_cells(out, value, plain, *rank, lead.id_cell, scored->instant, scored->score, format);
            return true;
        }
    }
    std::optional<Candidate> const own = lead.verdict.read(value);
    if (!own || own->facts.string_form) return false;
    thread_local std::vector<Candidate> ranked;  // room kept from value to value
    lead.ranked.identify_down_to(value, own->score, ranked);
    auto const found = std::find_if(ranked.begin(), ranked.end(),
                                    [&](const Candidate& c) { return c.format == *format.lead_format; });
    if (found == ranked.end()) return false;
    append_lead_cells(out, value, false, static_cast<std::size_t>(found - ranked.begin() + 1), lead.id_cell,
                      found->instant, found->score, format);
    return true;
}

// A value's CSV rows: its first format.best readings, each ranked by ranks
// (none: in their order), or one row of empty cells when none reads it.
void append_csv_readings(std::string& out, std::string_view value, std::span<const Candidate> readings,
                         std::span<const std::size_t> ranks, const RecordFormat& format);

void append_value_record(std::string& out, std::string_view value, const RecordFormat& format) {
    if (format.output == BatchOutput::JsonLines) {
        out += "{\"value\":";
        append_json_string(out, value);
        if (!format.lead_format) {
            out += ",\"readings\":";
            out += identify_json(value, format.read);  // default options: the reference text
            out += "}\n";
            return;
        }
        std::size_t lead = 0;
        std::vector<Candidate> const readings = ordered_readings(value, format, lead);
        out += ",\"column_format\":";
        append_json_string(out, format_id(*format.lead_format));
        if (format.lead_order) {
            out += format.lead_order == ByteOrder::Little ? ",\"column_byte_order\":\"little\""
                                                          : ",\"column_byte_order\":\"big\"";
        }
        out += ",\"column_readings\":";
        append_json_integer(out, lead);
        out += ",\"readings\":";
        append_json_candidates(out, readings);
        out += "}\n";
        return;
    }
    if (format.best == 1 && format.lead_readers && append_lead_row(out, value, format)) return;
    if (!format.lead_format && format.best_readers) {
        BestReaders const& best = *format.best_readers;
        thread_local std::optional<BestReadingsMemo> memo;
        thread_local uint64_t memo_serial = 0;
        thread_local std::vector<Candidate> readings;  // room kept from value to value
        if (!memo || memo_serial != best.serial) {
            memo.emplace(best.reader);
            memo_serial = best.serial;
        }
        best.reader.identify(value, readings, *memo);
        append_csv_readings(out, value, readings, {}, format);
        return;
    }
    std::size_t lead = 0;
    std::vector<std::size_t> ranks;  // a reading keeps its own rank when the column's format moves it forward
    std::vector<Candidate> const readings = ordered_readings(value, format, lead, &ranks);
    append_csv_readings(out, value, readings, ranks, format);
}

void append_csv_readings(std::string& out, std::string_view value, std::span<const Candidate> readings,
                         std::span<const std::size_t> ranks, const RecordFormat& format) {
    if (readings.empty()) {  // the value still gets its row
        append_csv_field(out, value);
        out += empty_cells(format);
        out += '\n';
        return;
    }
    std::size_t const count = std::min(readings.size(), format.best);
    for (std::size_t i = 0; i < count; ++i) {
        const Candidate& reading = readings[i];
        append_csv_field(out, value);
        out += ',';
        out += std::to_string(ranks.empty() ? i + 1 : ranks[i]);
        out += ',';
        append_csv_field(out, reading.format_id());
        out += ',';
        if (auto const rendered = reading.rendered()) append_csv_field(out, rendered->view());
        out += ',';
        append_json_double(out, reading.score);  // the JSON digits: shortest round trip, never a comma
        if (format.read.extended) {
            out += ',';
            if (reading.has_confidence()) append_json_double(out, reading.confidence);
        }
        out += ",\n";
    }
}

}  // namespace

LineValue value_of(std::string_view line, const RecordFormat& format, std::string& scratch) {
    LineValue out;
    std::string_view value = line;
    if (format.column != 0) {
        std::optional<std::string_view> const field = field_of(line, format.column, format.delimiter, scratch);
        if (!field) {
            out.error = out.what = "no column " + std::to_string(format.column);
            return out;
        }
        value = *field;
    }
    if (!is_valid_utf8(value)) {
        out.error = "invalid UTF-8";
        out.what = format.column != 0 ? "column " + std::to_string(format.column) + " is not valid UTF-8"
                                      : "not valid UTF-8";
        return out;
    }
    out.value = value;
    return out;
}

bool append_record(std::string& out, std::string& problem, std::string_view line, uint64_t line_number,
                   const RecordFormat& format, std::string& scratch) {
    // error goes into the record, what into the message.
    auto const fail = [&](std::string_view error, std::string_view what) {
        append_failure(out, error, line_number, format);
        problem = what;
        return false;
    };
    bool const rows = format.output == BatchOutput::Rows || format.output == BatchOutput::RowsJson;
    if (rows) {
        std::size_t const mark = out.size();
        try {
            return append_row(out, problem, line, line_number, format, scratch);
        } catch (const std::bad_alloc&) {
            out.resize(mark);
            throw;
        } catch (const std::exception& fault) {
            out.resize(mark);
            problem = std::string("engine fault: ") + fault.what();
            append_overlong_row(out, line_number, problem, format);
            return false;
        }
    }
    // A whole line that is UTF-8 is its own value; any other goes through value_of.
    std::string_view value = line;
    if (format.column != 0 || !is_valid_utf8(line)) {
        LineValue const found = value_of(line, format, scratch);
        if (!found.value) return fail(found.error, found.what);
        value = *found.value;
    }
    std::size_t const mark = out.size();
    try {
        append_value_record(out, value, format);
        return true;
    } catch (const std::bad_alloc&) {
        out.resize(mark);
        throw;
    } catch (const std::exception& fault) {
        // A broken engine invariant costs this line its readings, not the run.
        out.resize(mark);
        std::string const error = std::string("engine fault: ") + fault.what();
        return fail(error, error);
    }
}

void append_overlong_record(std::string& out, std::string& problem, uint64_t line_number, std::size_t max_line,
                            const RecordFormat& format) {
    std::string const error = "line longer than " + std::to_string(max_line) + " bytes";
    if (format.output == BatchOutput::Rows || format.output == BatchOutput::RowsJson) {
        append_overlong_row(out, line_number, error, format);
    } else {
        append_failure(out, error, line_number, format);
    }
    problem = error + ", skipped (--max-line)";
}

}  // namespace epochsift::cli
