#include "cli/verdict_table.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "cli/safe_text.hpp"
#include "cli/ties.hpp"
#include "cli/utf8.hpp"
#include "engine/candidate.hpp"

namespace epochsift::cli {

namespace {

constexpr std::string_view GAP = "  ";
constexpr std::string_view NOT_RENDERED = "(outside calendar)";

enum Column : std::size_t { RANK, SCORE, FORMAT, READ, IN_WINDOW, ORDERED, FIRST, LAST, EARLIEST, LATEST, LABEL, COLUMNS };
using Row = std::array<std::string, COLUMNS>;

// Right-aligned: the numbers.
constexpr std::array<bool, COLUMNS> RIGHT = {true, true, false, true, true, true, false, false, false, false, false};

std::string rendered(PosixNs instant) {
    auto const text = RenderedText::of(instant);
    return text ? std::string(text->view()) : std::string(NOT_RENDERED);
}

}  // namespace

void append_verdict_table(std::string& out, std::span<const ColumnVerdict> verdicts, uint64_t values) {
    out += std::to_string(values);
    out += values == 1 ? " value" : " values";
    if (verdicts.empty()) {
        out += ": no format reads them\n";
        return;
    }
    out += ": ";
    out += std::to_string(verdicts.size());
    out += verdicts.size() == 1 ? " format reads them\n" : " formats read them, best first\n";

    std::vector<std::string> scores;
    for (const ColumnVerdict& v : verdicts) scores.push_back(two_decimals(v.score));
    std::vector<std::size_t> const ranks = shared_ranks(scores);
    std::vector<Row> rows;
    rows.push_back(Row{"rank", "score", "format", "read", "in window", "ordered", "first", "last", "earliest", "latest", "label"});
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const ColumnVerdict& v = verdicts[i];
        std::string format = printable(v.format_id());
        if (v.byte_order) format += *v.byte_order == ByteOrder::Little ? " (little-endian)" : " (big-endian)";
        rows.push_back(Row{std::to_string(ranks[i]), scores[i], format, std::to_string(v.read),
                           std::to_string(v.in_window), two_decimals(v.ordered), rendered(v.first), rendered(v.last),
                           rendered(v.earliest), rendered(v.latest), printable(v.label())});
    }
    std::array<std::size_t, COLUMNS> widths{};
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < COLUMNS; ++c) widths[c] = std::max(widths[c], display_width(row[c]));
    }
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < COLUMNS; ++c) {
            if (c != 0) out += GAP;
            std::size_t const pad = widths[c] - display_width(row[c]);
            if (RIGHT[c]) out.append(pad, ' ');
            out += row[c];
            if (!RIGHT[c] && c + 1 != COLUMNS) out.append(pad, ' ');
        }
        out += '\n';
    }
}

}  // namespace epochsift::cli
