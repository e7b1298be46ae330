// A forward-only position in a text, for parsers that read a fixed layout:
// each step consumes what it matched or fails without moving, and a failed
// step fails the whole parse, so no reader ever needs to back up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/ascii_scan.hpp"

namespace epochsift {

class TextCursor {
public:
    explicit TextCursor(std::string_view text) : rest_(text) {}

    bool at_end() const { return rest_.empty(); }
    std::string_view rest() const { return rest_; }

    bool next_is(char c) const { return !rest_.empty() && rest_[0] == c; }
    bool next_is_digit() const { return !rest_.empty() && is_ascii_digit(rest_[0]); }
    bool next_is_one_of(std::string_view set) const {
        return !rest_.empty() && set.find(rest_[0]) != std::string_view::npos;
    }

    // The next character; the text must not be at its end.
    char take() {
        char const c = rest_[0];
        rest_.remove_prefix(1);
        return c;
    }
    // Up to n characters.
    std::string_view take(std::size_t n) {
        std::string_view const taken = rest_.substr(0, n);
        rest_.remove_prefix(taken.size());
        return taken;
    }

    bool accept(char c) {
        if (!next_is(c)) return false;
        rest_.remove_prefix(1);
        return true;
    }
    bool accept_one_of(std::string_view set) {
        if (!next_is_one_of(set)) return false;
        rest_.remove_prefix(1);
        return true;
    }

    // Exactly count ASCII digits (at most 9) as a number.
    std::optional<int32_t> digits(std::size_t count) {
        if (rest_.size() < count) return std::nullopt;
        int32_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            char const c = rest_[i];
            if (!is_ascii_digit(c)) return std::nullopt;
            value = value * 10 + (c - '0');
        }
        rest_.remove_prefix(count);
        return value;
    }

    // Up to max ASCII letters, or digits; possibly none.
    std::string_view letters(std::size_t max) { return take_while(max, is_ascii_alpha); }
    std::string_view digit_run(std::size_t max) { return take_while(max, is_ascii_digit); }

    // The text up to the next `end`, consuming both; nothing without one.
    std::optional<std::string_view> until(char end) {
        std::size_t const at = rest_.find(end);
        if (at == std::string_view::npos) return std::nullopt;
        std::string_view const piece = rest_.substr(0, at);
        rest_.remove_prefix(at + 1);
        return piece;
    }

private:
    template <typename Accepts>
    std::string_view take_while(std::size_t max, Accepts accepts) {
        std::size_t n = 0;
        while (n < rest_.size() && n < max && accepts(rest_[n])) ++n;
        return take(n);
    }

    std::string_view rest_;
};

}  // namespace epochsift
