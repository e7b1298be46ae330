// Writing into a std::string's own storage: a writer asks for room for the
// most a piece can take, writes through a plain pointer and moves the
// cursor; the string's length is set once at the end.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace epochsift {

// The bytes between the cursor and the string's end are scratch.
class JsonSink {
public:
    explicit JsonSink(std::string& out) : out_(out), cursor_(out.data() + out.size()) {}
    JsonSink(const JsonSink&) = delete;
    JsonSink& operator=(const JsonSink&) = delete;
    ~JsonSink() { out_.resize(static_cast<std::size_t>(cursor_ - out_.data())); }

    // Room for n more bytes. resize zeroes what it adds, so it adds only
    // the room asked for; the string's capacity still grows geometrically.
    char* room(std::size_t n) {
        std::size_t const used = static_cast<std::size_t>(cursor_ - out_.data());
        if (out_.size() - used < n) {
            out_.resize(used + n);
            cursor_ = out_.data() + used;
        }
        return cursor_;
    }
    void advance_to(char* p) { cursor_ = p; }

private:
    std::string& out_;
    char* cursor_;
};

inline char* put_literal(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// The same for a text of a hundred bytes or so: 32-byte moves, the last one
// overlapping, where a call or `rep movs` costs more than the copy.
inline char* put_text_blocks(char* p, std::string_view text) {
    char const* const src = text.data();
    std::size_t const n = text.size();
    if (n < 32) return put_literal(p, text);
    for (std::size_t i = 0; i + 32 <= n; i += 32) {
        char block[32];
        std::memcpy(block, src + i, 32);
        std::memcpy(p + i, block, 32);
    }
    char last[32];
    std::memcpy(last, src + n - 32, 32);
    std::memcpy(p + n - 32, last, 32);
    return p + n;
}

}  // namespace epochsift
