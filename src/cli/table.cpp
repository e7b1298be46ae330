#include "cli/table.hpp"

#include <algorithm>
#include <vector>

#include "cli/reading_flags.hpp"
#include "cli/safe_text.hpp"
#include "cli/ties.hpp"
#include "cli/utf8.hpp"
#include "output/reading_fields.hpp"
#include "output/reading_json.hpp"
#include "output/reading_text.hpp"

namespace epochsift::cli {

namespace {

constexpr std::string_view GAP = "  ";
// The confidence column's head: as narrow as the score's, so that labels
// keep their room on an 80-column terminal (the field's name, cut).
constexpr std::string_view CONFIDENCE_HEADER = "conf";
static_assert(field_name(ReadingField::Confidence).starts_with(CONFIDENCE_HEADER));
constexpr std::string_view ELLIPSIS = "…";
constexpr std::string_view NOT_RENDERED = "(outside calendar)";

constexpr std::string_view BOLD = "\x1b[1m";
constexpr std::string_view DIM = "\x1b[2m";
constexpr std::string_view YELLOW = "\x1b[33m";
constexpr std::string_view RESET = "\x1b[0m";

struct Row {
    std::string rank;
    std::string score;
    std::string label;
    std::string bytes;
    std::string rendered;
    std::string local;
    std::string flags;
};

// The narrowest a label is cut to: a word and the ellipsis.
constexpr std::size_t MIN_LABEL = 8;

// The label cut to width columns, ending in an ellipsis when cut: at a word's
// end when one ends in the last third, so no word is left half.
std::string fitted_label(std::string_view label, std::size_t width) {
    if (display_width(label) <= width) return std::string(label);
    std::string_view cut = prefix_of_width(label, width - 1);
    bool const ends_a_word = cut.size() < label.size() && label[cut.size()] == ' ';
    std::size_t const space = cut.rfind(' ');
    if (!ends_a_word && space != std::string_view::npos && display_width(cut.substr(0, space)) * 3 >= (width - 1) * 2) {
        cut = cut.substr(0, space);
    }
    while (!cut.empty() && (cut.back() == ' ' || cut.back() == ',' || cut.back() == '(')) cut.remove_suffix(1);
    std::string text(cut);
    text += ELLIPSIS;
    return text;
}

// "LE u32", "BE s64", "u16" (order moot): how hex bytes were read.
std::string bytes_text(const InputLayout& layout) {
    if (layout.kind == InputLayout::Kind::Digits) return "digits";
    if (layout.kind != InputLayout::Kind::Bytes && layout.kind != InputLayout::Kind::Binary64) return {};
    std::string text;
    if (!layout.order_moot) text = layout.order == ByteOrder::Little ? "LE " : "BE ";
    if (layout.kind == InputLayout::Kind::Binary64) return text + "f64";
    text += layout.is_signed ? 's' : 'u';
    text += std::to_string(8u * layout.width);
    return text;
}

void append_padded(std::string& out, std::string_view text, std::size_t width, bool right) {
    std::size_t const used = display_width(text);
    std::size_t const pad = used < width ? width - used : 0;
    if (right) out.append(pad, ' ');
    out += text;
    if (!right) out.append(pad, ' ');
}

void append_styled(std::string& out, bool colour, std::string_view style, std::string_view text) {
    if (colour) out += style;
    out += text;
    if (colour) out += RESET;
}

}  // namespace

std::string shown_value(std::string_view value) {
    bool const plain = !value.empty() && value.front() != ' ' && value.back() != ' ' && !has_hidden_control(value);
    if (plain) return std::string(value);
    std::string quoted = "\"";
    append_escaped(quoted, value, true);
    quoted += '"';
    return quoted;
}

void append_table(std::string& out, std::string_view value, std::span<const Candidate> readings,
                  const TableStyle& style, const ZoneColumns* zones) {
    bool const local_column = zones != nullptr && !zones->header.empty();
    std::size_t const shown = style.all ? readings.size() : std::min(readings.size(), DEFAULT_TOP);

    // Title: the value and how many of its readings follow.
    std::string title = shown_value(value);
    if (readings.empty()) {
        title += ": no readings";
    } else {
        title += ": ";
        title += std::to_string(readings.size());
        title += readings.size() == 1 ? " reading" : " readings";
        if (shown < readings.size()) {
            title += ", best ";
            title += std::to_string(shown);
            title += " shown (--all for every reading)";
        }
    }
    append_styled(out, style.colour, BOLD, title);
    out += '\n';
    if (shown == 0) return;

    // The extended reading shows each reading's confidence, a share an
    // analyst can read, where the reference reading shows its score.
    bool const confidence_column = readings.front().has_confidence();
    std::vector<std::string> scores;
    scores.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i) {
        scores.push_back(confidence_column ? whole_percent(readings[i].confidence) : two_decimals(readings[i].score));
    }
    std::vector<std::size_t> const ranks = shared_ranks(scores);
    std::vector<Row> rows;
    rows.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i) {
        const Candidate& reading = readings[i];
        std::optional<RenderedText> const text = reading.rendered();
        rows.push_back(Row{
            .rank = std::to_string(ranks[i]),
            .score = std::move(scores[i]),
            .label = std::string(reading.label()),
            .bytes = bytes_text(reading.layout),
            .rendered = std::string(text ? text->view() : NOT_RENDERED),
            .local = local_column && i < zones->local.size() ? zones->local[i] : std::string(),
            .flags = flags_text(flags_of(reading)),
        });
    }

    bool const bytes_column = std::any_of(rows.begin(), rows.end(), [](const Row& row) { return !row.bytes.empty(); });
    // The reading's columns are headed by their names in the one field list.
    Row const header{.rank = "rank",
                     .score = confidence_column ? std::string(CONFIDENCE_HEADER)
                                                : std::string(field_name(ReadingField::Score)),
                     .label = std::string(field_name(ReadingField::Label)),
                     .bytes = bytes_column ? "bytes" : "",
                     .rendered = std::string(field_name(ReadingField::Rendered)),
                     .local = local_column ? zones->header : std::string(),
                     .flags = "flags"};
    std::size_t rank_width = header.rank.size(), score_width = header.score.size();
    std::size_t label_width = header.label.size(), rendered_width = header.rendered.size();
    std::size_t local_width = display_width(header.local), bytes_width = header.bytes.size();
    std::size_t flags_width = 0;
    for (const Row& row : rows) {
        rank_width = std::max(rank_width, row.rank.size());
        score_width = std::max(score_width, row.score.size());
        label_width = std::max(label_width, display_width(row.label));
        bytes_width = std::max(bytes_width, row.bytes.size());
        rendered_width = std::max(rendered_width, display_width(row.rendered));
        local_width = std::max(local_width, display_width(row.local));
        flags_width = std::max(flags_width, display_width(row.flags));
    }
    // The labels take what the other columns leave of the width, whole when
    // they fit; without a width, at most style.label_width.
    std::size_t label_limit = style.label_width;
    if (style.width) {
        std::size_t others = rank_width + score_width + rendered_width + 3 * GAP.size();
        if (bytes_column) others += bytes_width + GAP.size();
        if (local_column) others += local_width + GAP.size();
        if (flags_width != 0) others += std::max(flags_width, header.flags.size()) + GAP.size();
        label_limit = *style.width > others ? *style.width - others : 0;
    }
    label_limit = std::max(label_limit, MIN_LABEL);
    if (label_width > label_limit) {
        label_width = std::max(header.label.size(), std::size_t{0});
        for (Row& row : rows) {
            row.label = fitted_label(row.label, label_limit);
            label_width = std::max(label_width, display_width(row.label));
        }
    }
    // The label column starts here; notes are indented to it.
    std::size_t const label_column = rank_width + GAP.size() + score_width + GAP.size();

    // line_style wraps the whole line, flag_style the flags alone.
    auto const append_row = [&](const Row& row, std::string_view line_style, std::string_view flag_style) {
        bool const styled_line = style.colour && !line_style.empty();
        if (styled_line) out += line_style;
        append_padded(out, row.rank, rank_width, true);
        out += GAP;
        append_padded(out, row.score, score_width, true);
        out += GAP;
        append_padded(out, row.label, label_width, false);
        out += GAP;
        if (bytes_column) {
            append_padded(out, row.bytes, bytes_width, false);
            out += GAP;
        }
        if (row.flags.empty() && !local_column) {
            out += row.rendered;  // last column: no trailing blanks
        } else if (row.flags.empty()) {
            append_padded(out, row.rendered, rendered_width, false);
            out += GAP;
            out += row.local;
        } else {
            append_padded(out, row.rendered, rendered_width, false);
            out += GAP;
            if (local_column) {
                append_padded(out, row.local, local_width, false);
                out += GAP;
            }
            append_styled(out, style.colour && !flag_style.empty(), flag_style, row.flags);
        }
        if (styled_line) out += RESET;
        out += '\n';
    };

    append_row(header, DIM, {});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        append_row(rows[i], {}, YELLOW);
        if (zones != nullptr && i < zones->notes.size() && !zones->notes[i].empty()) {
            out.append(label_column, ' ');
            append_styled(out, style.colour, YELLOW, std::string("! ").append(zones->notes[i]));
            out += '\n';
        }
        if (!style.notes) continue;
        for (std::string_view note : note_texts(readings[i])) {
            out.append(label_column, ' ');
            append_styled(out, style.colour, DIM, std::string("- ").append(note));
            out += '\n';
        }
    }
}

}  // namespace epochsift::cli
