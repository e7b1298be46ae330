// Fields of delimited text: picking one field out of an input line, and
// writing a CSV field with the quoting of RFC 4180.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace epochsift::cli {

// Field `column` (from 1) of line, split at delimiter. A field that starts
// with a quotation mark runs to the closing one, with "" standing for one
// quotation mark; its text is unescaped into scratch and the view points
// there. Nothing when the line has fewer fields.
std::optional<std::string_view> field_of(std::string_view line, std::size_t column, std::string_view delimiter,
                                         std::string& scratch);

// Appends text as one CSV field, quoted when it holds a comma, a quotation
// mark or a line break.
void append_csv_field(std::string& out, std::string_view text);

}  // namespace epochsift::cli
