// Many values of one field judged together: which family reads the column,
// weighed by how specific each family's structure is.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_order.hpp"
#include "core/instant.hpp"
#include "engine/read_options.hpp"
#include "formats/catalog.hpp"

namespace epochsift {

struct ColumnVerdict {
    FormatRef format;         // the numeric family or string form
    double score = 0.0;       // posterior share among the verdicts, in [0, 1]
    uint64_t read = 0;        // values the family decodes
    uint64_t in_window = 0;   // of those, inside the window (the caller's or the family's)
    double ordered = 0.0;     // share of neighbouring read pairs whose instants do not fall
    PosixNs first;            // instant of the first value read, in column order
    PosixNs last;             // instant of the last value read
    PosixNs earliest;         // the least instant read, wherever it stands
    PosixNs latest;           // the greatest instant read
    std::optional<ByteOrder> byte_order;  // a family reading hex bytes: the order it read them in

    std::string_view format_id() const { return catalog_entry(format).id; }
    std::string_view label() const { return catalog_entry(format).label; }
};

// The verdicts best first; one per family or form that reads any value.
// Linear in the number of values. options.extended and neighbours are not
// used: the column is its own context.
std::vector<ColumnVerdict> identify_column(std::span<const std::string_view> values, const ReadOptions& options);

// What identify_column keeps of one run of values for one family or form:
// sums, and the ends needed to join runs in column order. Two runs' tallies
// merge into the tally of the run that is their concatenation (up to the
// order floating-point sums are taken in).
struct ColumnTally {
    uint64_t values = 0;  // in the run, read or not
    double log_likelihood = 0.0;
    uint64_t read = 0;
    uint64_t in_window = 0;
    uint64_t pairs = 0;          // neighbouring pairs of values both read
    uint64_t ordered_pairs = 0;  // of those, pairs whose instants do not fall
    PosixNs first;               // set when read > 0
    PosixNs last;
    PosixNs earliest;          // set when read > 0
    PosixNs latest;
    bool starts_read = false;  // the run's first value was read
    bool ends_read = false;    // the run's last value was read
    uint64_t marked = 0;       // of the values read, those written as bytes (hex letters, 0x, separators)
};

// One tally a family or form, in table order (column_tally_count() rows).
std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options);

// Whether values of digits alone are also read as bytes. A column whose
// values are all digits never names a byte order (the byte rows weigh only
// where some value is written as bytes), so a caller that knows every value
// is a decimal integer spares reading them.
enum class DigitsAsBytes : bool { No, Yes };
std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options,
                                        DigitsAsBytes digits_as_bytes);

// One of `count` shares of column_tallies' work, for as many threads: the
// rows of the families f with f % count == index (as integers, floats and
// bytes), and of the string forms s (in their order) with s % count ==
// index, so that the forms' parsing is shared out too. A share's rows are
// tallied exactly as column_tallies tallies them (each row's sums over the
// values in their order): taking each row from the share that owns it gives
// column_tallies' result bit for bit. The other rows are not meaningful.
struct TallyShare {
    std::size_t index = 0;
    std::size_t count = 1;
};
std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options,
                                        DigitsAsBytes digits_as_bytes, TallyShare share);
// Whether share tallies row (of column_tally_count()).
bool tally_share_owns(std::size_t row, TallyShare share);
std::size_t column_tally_count();

// The tally of a run that is first's run followed by second's.
void merge_column_tally(ColumnTally& first, const ColumnTally& second);

// The verdicts of a column's tallies: identify_column(values, options) is
// column_verdicts(column_tallies(values, options), options). Nothing when
// the count of tallies is not column_tally_count().
std::vector<ColumnVerdict> column_verdicts(std::span<const ColumnTally> tallies, const ReadOptions& options);

// What the verdicts of the column of tallies' values followed by value rest
// on, without making them or the value's tally: each numeric family's log
// posterior (log-likelihood plus log prior, the value read as text, not as
// bytes) and the greatest log posterior of any row the verdicts weigh. A
// verdict's score over the best verdict's is exp(log_posterior - best).
struct ColumnStanding {
    static constexpr double UNREAD = -std::numeric_limits<double>::infinity();
    std::array<double, NUMERIC_FAMILY_COUNT> log_posterior;  // UNREAD where the family read no value
    double best = UNREAD;
};
// log_priors is column_log_priors(options), which a caller asking often keeps.
ColumnStanding column_standing(std::span<const ColumnTally> tallies, std::span<const double> log_priors,
                               std::string_view value, const ReadOptions& options, DigitsAsBytes digits_as_bytes);

// Each row's log prior in the verdicts under options (0 for the text forms).
std::vector<double> column_log_priors(const ReadOptions& options);

}  // namespace epochsift
