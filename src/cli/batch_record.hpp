// The output for one input line of a batch: a JSON Lines record with every
// reading, or CSV rows for the best few readings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/best_readings.hpp"
#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/score_rank.hpp"
#include "engine/verdict_reader.hpp"
#include "formats/catalog.hpp"
#include "output/reading_fields.hpp"

namespace epochsift::cli {

enum class BatchOutput : uint8_t {
    JsonLines,  // {"value": ..., "readings": [...]} a line
    BestCsv,    // value,rank,format_id,rendered,score,error rows for the best readings
    Rows,       // the input's fields, then each read field's best reading (cli/batch_rows.hpp)
    RowsJson,   // the same as JSON Lines
};

// A field batch mode reads: by number from 1, or by the header's name.
struct ColumnRef {
    std::size_t number = 0;  // 0 when named
    std::string_view name;
};

// Whether the first record names the fields.
enum class HeaderMode : unsigned char {
    Auto,  // when no field read from it holds a timestamp
    Yes,
    No,
};

// The readers a --by-column run makes once its format is known: the
// format's own reader, and one that ranks a value's readings down to the
// score of that format's reading (its rank without the readings below it).
// Where the format's reading of an integer and its rank come from scores
// alone (score_rank applies), no reading is built at all.
struct LeadReaders {
    VerdictReader verdict;
    BestReadings ranked;
    ScoreRank score_rank;
    // Tells these readers from any made before: a thread's memo of the
    // verdict family's scores is kept for one set of readers.
    uint64_t serial;
    std::string id_cell;  // the format's id as a CSV cell

    LeadReaders(FormatRef format, const ReadOptions& options);
};

// --best K without --by-column: a value's first K readings, those that
// cannot be among them not built. Shared by every thread; a thread's memo
// of the families' bounds and scores is kept for one set of readers.
struct BestReaders {
    BestReadings reader;
    uint64_t serial;

    BestReaders(const ReadOptions& options, std::size_t best);
};

struct RecordFormat {
    BatchOutput output = BatchOutput::JsonLines;
    std::size_t best = 1;          // readings a value for BestCsv
    std::size_t column = 0;        // field to read, from 1; 0 reads the whole line
    std::string delimiter = ",";  // between fields when column is set
    ReadOptions read;             // how the values are read; default: the reference reading
    // The column's best format (--by-column): the readings in it lead each
    // record, and the JSON record names it. None: readings in rank order.
    std::optional<FormatRef> lead_format;
    // With lead_format, for a column of hex bytes: only readings of the bytes
    // in this order lead.
    std::optional<ByteOrder> lead_order;
    // With lead_format and no lead_order: its readers, shared by every thread.
    std::shared_ptr<const LeadReaders> lead_readers;
    // BestCsv of a few readings a value, without lead_format: their reader.
    std::shared_ptr<const BestReaders> best_readers;
    // Rows: the fields read, in output order, numbers from 1 once the header
    // is settled (empty: the whole line is the value), and their names.
    std::vector<ColumnRef> fields;
    std::vector<std::string> names;
    HeaderMode header = HeaderMode::Auto;
};

inline constexpr std::string_view CSV_HEADER = "value,rank,format_id,rendered,score,error\n";
// Its reading columns are fields of the one field list, by their names.
static_assert([] {
    if (CSV_HEADER.substr(0, 11) != "value,rank,") return false;
    std::string_view rest = CSV_HEADER.substr(11);
    for (ReadingField field : {ReadingField::FormatId, ReadingField::Rendered, ReadingField::Score}) {
        std::string_view const name = field_name(field);
        if (rest.substr(0, name.size()) != name || rest.size() <= name.size() || rest[name.size()] != ',') return false;
        rest.remove_prefix(name.size() + 1);
    }
    return rest == "error\n";
}());

// The extended reading's rows add each reading's confidence after its score
// (an empty cell for a reading that weighs none).
inline constexpr std::string_view CSV_HEADER_EXTENDED = "value,rank,format_id,rendered,score,confidence,error\n";
static_assert(CSV_HEADER_EXTENDED.substr(0, 36) == CSV_HEADER.substr(0, 36) &&
              CSV_HEADER_EXTENDED.substr(36, 11) == "confidence," &&
              CSV_HEADER_EXTENDED.substr(47) == CSV_HEADER.substr(36) &&
              field_name(ReadingField::Confidence) == "confidence");

inline std::string_view csv_header(const RecordFormat& format) {
    return format.read.extended ? CSV_HEADER_EXTENDED : CSV_HEADER;
}

// The value a line holds, or why it holds none.
struct LineValue {
    std::optional<std::string_view> value;  // into line or scratch
    std::string error;                      // for the record
    std::string what;                       // for the message
};

// The field of line that format picks (the whole line for column 0),
// checked to be UTF-8.
LineValue value_of(std::string_view line, const RecordFormat& format, std::string& scratch);

// The readings of value under format.read, with those in format.lead_format
// moved to the front (in their rank order); lead counts them. ranks, when
// given, gets each reading's rank among all of them, from 1.
std::vector<Candidate> ordered_readings(std::string_view value, const RecordFormat& format, std::size_t& lead,
                                        std::vector<std::size_t>* ranks = nullptr);

// Appends the record of one line (without its line end) to out. A line
// that yields no value (not UTF-8, no such column) still gets a record that
// says why, and problem is set to the reason for a message. Returns false
// when there was a problem. Memory exhaustion (std::bad_alloc) is passed on:
// it ends the run, not one record.
bool append_record(std::string& out, std::string& problem, std::string_view line, uint64_t line_number,
                   const RecordFormat& format, std::string& scratch);

// The record of a line longer than max_line bytes, whose text was not kept.
void append_overlong_record(std::string& out, std::string& problem, uint64_t line_number, std::size_t max_line,
                            const RecordFormat& format);

}  // namespace epochsift::cli
