// Writing to descriptors: whole buffers, retried over short writes, and
// one-line messages with everything from outside escaped.
#pragma once

#include <string>
#include <string_view>

namespace epochsift::cli {

// Writes all of text; on failure returns false with errno set.
bool write_all(int fd, std::string_view text);

// "epochsift: " + message with its controls escaped + "\n".
std::string message_line(std::string_view message);

// message_line(message) in one write call, so that messages from several
// runs sharing a terminal or a log do not interleave within a line.
void report(int fd, std::string_view message);

}  // namespace epochsift::cli
