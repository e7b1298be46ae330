// Text from outside (arguments, file names, values) made safe to put on a
// terminal: nothing in it can end a line, move the cursor, start an escape
// sequence or reorder what follows it on screen.
#pragma once

#include <string>
#include <string_view>

namespace epochsift::cli {

// Characters a terminal does not show as themselves: C0 and C1 controls,
// DEL, line and paragraph separators, and the bidirectional marks,
// embeddings, overrides and isolates.
bool is_hidden_control(char32_t c);

// Appends text with each hidden control written as a JSON escape (\n, \t,
// \r, \b, \f or \uXXXX) and each byte that is not UTF-8 as \xHH. When
// quoted, a quotation mark and a backslash are escaped too, so that the
// text can stand between quotation marks.
void append_escaped(std::string& out, std::string_view text, bool quoted);

// text escaped for a one-line message.
std::string printable(std::string_view text);

bool has_hidden_control(std::string_view text);

}  // namespace epochsift::cli
