#include "cli/terminal.hpp"

#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <thread>

namespace epochsift::cli {

bool is_terminal(int fd) { return isatty(fd) == 1; }

bool colour_wanted(int fd) {
    if (!is_terminal(fd)) return false;
    char const* no_colour = std::getenv("NO_COLOR");
    if (no_colour != nullptr && no_colour[0] != '\0') return false;
    char const* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

std::optional<std::size_t> terminal_columns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
    return size.ws_col;
}

std::optional<std::size_t> output_columns(int fd) {
    if (auto const columns = terminal_columns(fd)) return columns;
    char const* text = std::getenv("COLUMNS");
    if (text == nullptr) return std::nullopt;
    std::size_t value = 0;
    std::string_view const digits(text);
    auto const [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // Narrower than a rank, a score and an instant is a slip; wider than any screen too.
    if (error != std::errc{} || end != digits.data() + digits.size() || value < 20 || value > 10'000) return std::nullopt;
    return value;
}

unsigned available_cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int const count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    unsigned const hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

}  // namespace epochsift::cli
