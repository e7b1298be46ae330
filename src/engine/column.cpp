#include "engine/column.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <optional>

#include "core/ascii_scan.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/column_selectivity.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/extended_string_forms.hpp"
#include "formats/hex_bytes.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

namespace {

// The column is scored as a likelihood: a value a family reads at a typical
// instant has probability 1 / (number of raw values of its magnitude that
// the family reads so); a value it does not read so, MISS. A family whose
// structure is specific (a packed layout valid for half the raw values, an
// identifier with a small sequence field) gains over a plain count on every
// value it reads, and loses on every value it cannot.
constexpr double LOG_MISS = -9.2;  // ln 1e-4: an outlier, a sentinel, a typo
// A self-describing string form: its text is far more specific than any count.
constexpr double LOG_FORM = 13.8;  // ln 1e6
// A bare-digit date (an ASN.1 time without its zone): about one in a hundred
// digit strings of its length is a valid date.
constexpr double LOG_BARE_DATE = 4.6;
// ln(10 / 16): a random hex digit is a decimal one.
constexpr double LOG_DECIMAL_HEX_DIGIT = -0.47;

// The verdict weighs every numeric family the extended reading knows: a
// family's figure is how many raw values it reads at a typical instant, so
// a rare family with a narrow span is not favoured by construction, and the
// prior parts layouts alike but for their epoch.
constexpr std::size_t FAMILIES = NUMERIC_FAMILIES.size();
// The column reads what the extended reading reads: the reference string
// forms, then the extended ones (wall-clock text, tokens).
constexpr std::size_t FORMS = STRING_FORM_COUNT + EXTENDED_STRING_FORM_COUNT;
// Hex bytes (a field from a byte dump) read as an unsigned integer in each
// order through every integer family: rows of their own, so that the
// verdict names the order as well as the family.
constexpr std::array<ByteOrder, 2> BYTE_ORDERS = {ByteOrder::Big, ByteOrder::Little};
constexpr std::size_t BYTE_ROWS_START = FAMILIES + FORMS;
constexpr std::size_t ROWS = BYTE_ROWS_START + BYTE_ORDERS.size() * FAMILIES;
static_assert(ROWS <= UINT16_MAX, "a share lists its rows in 16 bits");

constexpr std::size_t byte_row(std::size_t order_index, std::size_t family) {
    return BYTE_ROWS_START + order_index * FAMILIES + family;
}

const StringForm& form_at(std::size_t s) {
    return s < STRING_FORM_COUNT ? STRING_FORMS[s] : EXTENDED_STRING_FORMS[s - STRING_FORM_COUNT];
}

struct Tally {
    double log_likelihood = 0.0;
    uint64_t read = 0;
    uint64_t in_window = 0;
    uint64_t pairs = 0;
    uint64_t ordered_pairs = 0;
    std::optional<PosixNs> first;
    PosixNs last;
    PosixNs earliest;
    PosixNs latest;
    std::optional<PosixNs> previous;  // the instant of the previous value, when that value was read
    bool starts_read = false;
    uint64_t marked = 0;
};

void count_reading(Tally& tally, PosixNs instant, bool inside) {
    ++tally.read;
    tally.in_window += inside;
    if (tally.previous) {
        ++tally.pairs;
        tally.ordered_pairs += !(instant < *tally.previous);
    }
    if (!tally.first) tally.earliest = tally.latest = instant;
    if (instant < tally.earliest) tally.earliest = instant;
    if (tally.latest < instant) tally.latest = instant;
    if (!tally.first) tally.first = instant;
    tally.last = instant;
    tally.previous = instant;
}

}  // namespace

std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options) {
    return column_tallies(values, options, DigitsAsBytes::Yes);
}

namespace {

// Reads one value of a column: visit(row, instant, inside, log_likelihood)
// for each row that reads it (once a row), where inside is whether the
// instant lies in the window (the caller's or the family's) and
// log_likelihood the value's part of the row's likelihood. True when the
// value is written as bytes.
template <class Visit>
bool read_column_value(std::string_view value, const ReadOptions& options, DigitsAsBytes digits_as_bytes,
                       TallyShare share, Visit&& visit) {
    auto const owned = [&](std::size_t f) { return f % share.count == share.index; };
    Specificity const& table = column_selectivity();
    auto const plausible = [&](PosixNs instant) {
        return options.window ? options.window->contains(instant) : typical_instant(instant);
    };
    auto const inside = [&](const NumericFamily& family, PosixNs instant) {
        return options.window ? options.window->contains(instant) : family.contains(instant);
    };
    std::string_view const text = trim_white_space(value);
    // Every integer family's reading of raw, into rows row_of(family). Bytes
    // (width > 0) weigh how well the field's width suits the family.
    auto const read_integer = [&](int64_t raw, auto row_of, double log_shape, uint8_t width) {
        int const bits = std::bit_width(raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw));
        for (std::size_t f = 0; f < FAMILIES; ++f) {
            NumericFamily const& family = NUMERIC_FAMILIES[f];
            if (family.encoding.tag == Encoding::Tag::Float || !owned(f)) continue;
            auto const instant = decode_integer(family, raw);
            if (!instant) continue;
            bool const fits = plausible(*instant) && structure_fits(family, raw, *instant);
            double const log_width = width == 0 ? 0.0 : std::log(std::max(0.1, byte_width_match(family, raw, width)));
            visit(row_of(f), *instant, inside(family, *instant),
                  log_shape + log_width + (fits ? table.integer[f][std::min(bits, 63)] : LOG_MISS));
        }
    };
    bool const bare_digits = !text.empty() && all_ascii_digits(text);
    // A column of hex bytes holds values of digits alone too ("40336365"):
    // those are read both as a number and as bytes, the bytes weighed by
    // how seldom hex digits are all decimal ((10/16) a digit), so that a
    // column of numbers is not taken for bytes.
    bool marked_bytes = false;
    auto const bytes = !bare_digits                          ? parse_hex_bytes(text)
                       : digits_as_bytes == DigitsAsBytes::Yes ? parse_field_digits(text)
                                                               : std::nullopt;
    if (bytes && bytes->size <= 8) {
        marked_bytes = !bare_digits;
        double const log_shape = bare_digits ? static_cast<double>(text.size()) * LOG_DECIMAL_HEX_DIGIT : 0.0;
        for (std::size_t o = 0; o < BYTE_ORDERS.size(); ++o) {
            if (options.context.byte_order && *options.context.byte_order != BYTE_ORDERS[o]) continue;
            uint64_t const raw = unsigned_value(bytes->view(), BYTE_ORDERS[o]);
            if (raw > static_cast<uint64_t>(INT64_MAX)) continue;
            read_integer(static_cast<int64_t>(raw), [o](std::size_t f) { return byte_row(o, f); }, log_shape,
                         bytes->size);
        }
    }
    if (auto const integer = parse_integer(text)) {
        read_integer(*integer, [](std::size_t f) { return f; }, 0.0, 0);
    } else if (auto const number = parse_float(text); number && std::isfinite(*number)) {
        double const magnitude = std::fabs(*number);
        int const bits = magnitude >= 0x1p63 ? 63 : std::bit_width(static_cast<uint64_t>(magnitude));
        for (std::size_t f = 0; f < FAMILIES; ++f) {
            NumericFamily const& family = NUMERIC_FAMILIES[f];
            if (family.encoding.tag != Encoding::Tag::Float || !owned(f)) continue;
            auto const instant = decode_float(family, *number);
            if (!instant) continue;
            visit(f, *instant, inside(family, *instant), plausible(*instant) ? table.floating[f][bits] : LOG_MISS);
        }
    }
    // A text of digits alone visits only the forms that may read its length.
    std::optional<DigitText> const shape = digit_text_of(text);
    uint64_t const reference_readers = STRING_FORM_DIGIT_READERS.of(shape);
    uint64_t const extended_readers = EXTENDED_FORM_DIGIT_READERS.of(shape);
    auto const may_read_text = [&](std::size_t s) {
        return (s < STRING_FORM_COUNT ? reference_readers >> s : extended_readers >> (s - STRING_FORM_COUNT)) & 1u;
    };
    FormMemo memo;
    for (std::size_t s = share.index; s < FORMS; s += share.count) {
        if (!may_read_text(s)) continue;
        auto const found = read_form(form_at(s), text, memo);
        if (!found) continue;
        bool const in_span = options.window ? options.window->contains(found->instant) : true;
        bool const weak = bare_digits && found->zone_unstated;
        visit(FAMILIES + s, found->instant, in_span,
              weak ? (typical_instant(found->instant) ? LOG_BARE_DATE : LOG_MISS) : (in_span ? LOG_FORM : LOG_MISS));
    }
    return marked_bytes;
}

}  // namespace

std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options,
                                        DigitsAsBytes digits_as_bytes) {
    return column_tallies(values, options, digits_as_bytes, TallyShare{});
}

bool tally_share_owns(std::size_t row, TallyShare share) {
    if (row >= FAMILIES && row < BYTE_ROWS_START) return (row - FAMILIES) % share.count == share.index;  // the string forms
    std::size_t const family = row < FAMILIES ? row : (row - BYTE_ROWS_START) % FAMILIES;
    return family % share.count == share.index;
}

std::vector<ColumnTally> column_tallies(std::span<const std::string_view> values, const ReadOptions& options,
                                        DigitsAsBytes digits_as_bytes, TallyShare share) {
    std::array<Tally, ROWS> tallies{};
    std::array<bool, ROWS> read_this{};
    std::array<bool, ROWS> owns{};
    for (std::size_t row = 0; row < ROWS; ++row) owns[row] = tally_share_owns(row, share);
    // The share's rows that have read a value, visited after each value.
    // A row that has read none has missed every value so far: its sum is
    // LOG_MISS added once a value, the same sum for each such row, kept
    // once and given to the row when it first reads (the same additions in
    // the same order, so the same bits).
    std::array<uint16_t, ROWS> reading;
    std::array<bool, ROWS> has_read{};
    std::size_t reading_count = 0;
    double missed_every_value = 0.0;
    for (std::string_view const& value : values) {
        bool const first_value = &value == &values.front();
        read_this.fill(false);
        bool const marked_bytes = read_column_value(
            value, options, digits_as_bytes, share, [&](std::size_t row, PosixNs instant, bool inside, double log_likelihood) {
                if (owns[row] && !has_read[row]) {
                    has_read[row] = true;
                    reading[reading_count++] = static_cast<uint16_t>(row);
                    tallies[row].log_likelihood = missed_every_value;
                }
                read_this[row] = true;
                count_reading(tallies[row], instant, inside);
                tallies[row].log_likelihood += log_likelihood;
            });
        for (std::size_t k = 0; k < reading_count; ++k) {
            std::size_t const row = reading[k];
            if (first_value) tallies[row].starts_read = read_this[row];
            tallies[row].marked += read_this[row] && marked_bytes;
            if (read_this[row]) continue;
            tallies[row].log_likelihood += LOG_MISS;
            tallies[row].previous.reset();  // a gap breaks the run of neighbouring pairs
        }
        missed_every_value += LOG_MISS;
    }
    for (std::size_t row = 0; row < ROWS; ++row) {
        if (owns[row] && !has_read[row]) tallies[row].log_likelihood = missed_every_value;
    }

    std::vector<ColumnTally> out(ROWS);
    for (std::size_t row = 0; row < ROWS; ++row) {
        Tally const& tally = tallies[row];
        out[row] = ColumnTally{.values = values.size(),
                               .log_likelihood = tally.log_likelihood,
                               .read = tally.read,
                               .in_window = tally.in_window,
                               .pairs = tally.pairs,
                               .ordered_pairs = tally.ordered_pairs,
                               .first = tally.first.value_or(PosixNs{}),
                               .last = tally.last,
                               .earliest = tally.earliest,
                               .latest = tally.latest,
                               .starts_read = tally.starts_read,
                               .ends_read = tally.previous.has_value(),
                               .marked = tally.marked};
    }
    return out;
}

std::size_t column_tally_count() { return ROWS; }

void merge_column_tally(ColumnTally& first, const ColumnTally& second) {
    if (first.values == 0) {
        first = second;
        return;
    }
    first.log_likelihood += second.log_likelihood;
    first.in_window += second.in_window;
    first.pairs += second.pairs;
    first.ordered_pairs += second.ordered_pairs;
    if (first.ends_read && second.starts_read) {  // the pair across the seam
        ++first.pairs;
        first.ordered_pairs += !(second.first < first.last);
    }
    if (second.read != 0) {
        if (first.read == 0) {
            first.first = second.first;
            first.earliest = second.earliest;
            first.latest = second.latest;
        }
        if (second.earliest < first.earliest) first.earliest = second.earliest;
        if (first.latest < second.latest) first.latest = second.latest;
        first.last = second.last;
    }
    first.read += second.read;
    first.marked += second.marked;
    first.values += second.values;
    if (second.values != 0) first.ends_read = second.ends_read;
}

namespace {

// Whether the verdict weighs a row: it read a value, and digits alone read
// as bytes only in a column that writes some value as bytes.
bool weighed(const ColumnTally& tally, std::size_t row) {
    return tally.read != 0 && (row < BYTE_ROWS_START || tally.marked != 0);
}

// The numeric family of a family or byte row.
std::size_t family_of_row(std::size_t row) { return row < FAMILIES ? row : (row - BYTE_ROWS_START) % FAMILIES; }

// A numeric family's log prior in the column: how often analysts meet it,
// with the caller's hint and field width.
double family_log_prior(const NumericFamily& family, const ReadOptions& options) {
    double prior = prior_value(family.prior);
    // A hint that names no family would only lower every family against the text forms.
    if (options.context.artifact_hint && options.context.artifact_hint->implies_a_family()) {
        prior *= std::max(0.2, options.context.artifact_hint->vocabulary_match(family));
    }
    if (options.context.byte_width) {
        // The width the field has, against the width the family keeps.
        prior *= std::max(0.1, byte_width_match(family, 1, *options.context.byte_width));
    }
    return std::log(prior);
}

}  // namespace

std::vector<double> column_log_priors(const ReadOptions& options) {
    std::vector<double> priors(ROWS, 0.0);
    for (std::size_t row = 0; row < ROWS; ++row) {
        if (row < FAMILIES || row >= BYTE_ROWS_START) {
            priors[row] = family_log_prior(NUMERIC_FAMILIES[family_of_row(row)], options);
        }
    }
    return priors;
}

ColumnStanding column_standing(std::span<const ColumnTally> tallies, std::span<const double> log_priors,
                               std::string_view value, const ReadOptions& options, DigitsAsBytes digits_as_bytes) {
    ColumnStanding out;
    out.log_posterior.fill(ColumnStanding::UNREAD);
    if (tallies.size() != ROWS || log_priors.size() != ROWS) return out;
    // The value's part of each row, as column_tallies would add it.
    std::array<double, ROWS> own{};
    own.fill(LOG_MISS);
    std::array<bool, ROWS> own_read{};
    bool const marked_bytes = read_column_value(
        value, options, digits_as_bytes, TallyShare{}, [&](std::size_t row, PosixNs, bool, double log_likelihood) {
            own[row] = log_likelihood;
            own_read[row] = true;
        });
    for (std::size_t row = 0; row < ROWS; ++row) {
        ColumnTally tally;
        tally.read = tallies[row].read + (own_read[row] ? 1 : 0);
        tally.marked = tallies[row].marked + (own_read[row] && marked_bytes ? 1 : 0);
        if (!weighed(tally, row)) continue;
        double const lp = tallies[row].log_likelihood + own[row] + log_priors[row];
        out.best = std::max(out.best, lp);
        if (row < FAMILIES) out.log_posterior[row] = lp;
    }
    return out;
}

std::vector<ColumnVerdict> column_verdicts(std::span<const ColumnTally> tallies, const ReadOptions& options) {
    if (tallies.size() != ROWS) return {};
    std::vector<ColumnVerdict> verdicts;
    std::vector<double> log_posterior;
    for (std::size_t row = 0; row < ROWS; ++row) {
        ColumnTally const& tally = tallies[row];
        if (!weighed(tally, row)) continue;
        double log_prior = 0.0;
        ColumnVerdict verdict;
        if (row < FAMILIES || row >= BYTE_ROWS_START) {
            if (row >= BYTE_ROWS_START) verdict.byte_order = BYTE_ORDERS[(row - BYTE_ROWS_START) / FAMILIES];
            NumericFamily const& family = NUMERIC_FAMILIES[family_of_row(row)];
            verdict.format = FormatRef::of(family);
            log_prior = family_log_prior(family, options);
        } else {
            StringForm const& form = form_at(row - FAMILIES);
            verdict.format = FormatRef::of(form);
        }
        verdict.read = tally.read;
        verdict.in_window = tally.in_window;
        verdict.ordered = tally.pairs == 0 ? 1.0 : static_cast<double>(tally.ordered_pairs) / static_cast<double>(tally.pairs);
        verdict.first = tally.first;
        verdict.last = tally.last;
        verdict.earliest = tally.earliest;
        verdict.latest = tally.latest;
        verdicts.push_back(verdict);
        log_posterior.push_back(tally.log_likelihood + log_prior);
    }
    if (verdicts.empty()) return verdicts;
    double const best = *std::max_element(log_posterior.begin(), log_posterior.end());
    double total = 0.0;
    for (double& lp : log_posterior) total += (lp = std::exp(lp - best));
    for (std::size_t i = 0; i < verdicts.size(); ++i) verdicts[i].score = log_posterior[i] / total;
    // Best first; equal scores keep table order.
    std::vector<std::size_t> order(verdicts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return log_posterior[a] > log_posterior[b];
    });
    std::vector<ColumnVerdict> ranked;
    ranked.reserve(verdicts.size());
    for (std::size_t i : order) ranked.push_back(verdicts[i]);
    return ranked;
}

std::vector<ColumnVerdict> identify_column(std::span<const std::string_view> values, const ReadOptions& options) {
    std::vector<ColumnTally> const tallies = column_tallies(values, options);
    return column_verdicts(tallies, options);
}

}  // namespace epochsift
