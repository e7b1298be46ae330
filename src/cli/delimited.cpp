#include "cli/delimited.hpp"

#include <algorithm>

namespace epochsift::cli {

namespace {

// A quoted field starting at line[begin] (the opening quotation mark).
// Unescapes it into scratch and returns where it ends: the delimiter after
// the closing mark, or the end of the line. Text between the closing mark
// and the delimiter is kept as it stands; an unclosed field runs to the end.
std::size_t read_quoted(std::string_view line, std::size_t begin, std::string_view delimiter, std::string& scratch) {
    scratch.clear();
    std::size_t i = begin + 1;
    while (i < line.size()) {
        std::size_t const quote = line.find('"', i);
        if (quote == std::string_view::npos) {
            scratch.append(line.substr(i));
            return line.size();
        }
        scratch.append(line.substr(i, quote - i));
        if (quote + 1 < line.size() && line[quote + 1] == '"') {
            scratch += '"';
            i = quote + 2;
            continue;
        }
        i = quote + 1;
        std::size_t const end = std::min(line.find(delimiter, i), line.size());
        scratch.append(line.substr(i, end - i));
        return end;
    }
    return line.size();
}

}  // namespace

std::optional<std::string_view> field_of(std::string_view line, std::size_t column, std::string_view delimiter,
                                         std::string& scratch) {
    std::size_t begin = 0;
    for (std::size_t field = 1;; ++field) {
        bool const quoted = begin < line.size() && line[begin] == '"';
        std::size_t const end = quoted ? read_quoted(line, begin, delimiter, scratch)
                                       : std::min(line.find(delimiter, begin), line.size());
        if (field == column) return quoted ? std::string_view(scratch) : line.substr(begin, end - begin);
        if (end == line.size()) return std::nullopt;
        begin = end + delimiter.size();
    }
}

void append_csv_field(std::string& out, std::string_view text) {
    // One pass over the text: find_first_of calls memchr on its set once a byte.
    auto const needs_quotes = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::none_of(text.begin(), text.end(), needs_quotes)) {
        out += text;
        return;
    }
    out += '"';
    std::size_t run_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '"') continue;
        out.append(text.substr(run_start, i + 1 - run_start));  // the mark itself, then its double
        out += '"';
        run_start = i + 1;
    }
    out.append(text.substr(run_start));
    out += '"';
}

}  // namespace epochsift::cli
