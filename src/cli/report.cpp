#include "cli/report.hpp"

#include <unistd.h>

#include <cerrno>

#include "cli/safe_text.hpp"

namespace epochsift::cli {

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t const count = ::write(fd, text.data(), text.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string message_line(std::string_view message) {
    std::string line = "epochsift: ";
    append_escaped(line, message, false);
    line += '\n';
    return line;
}

void report(int fd, std::string_view message) {
    int const saved = errno;
    write_all(fd, message_line(message));
    errno = saved;
}

}  // namespace epochsift::cli
