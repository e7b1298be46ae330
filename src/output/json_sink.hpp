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
    explicit JsonSink(std::string& out) : out_(out) {
        std::size_t const used = out.size();
        out.resize(std::max(out.capacity(), used + 16));
        cursor_ = out.data() + used;
    }
    JsonSink(const JsonSink&) = delete;
    JsonSink& operator=(const JsonSink&) = delete;
    ~JsonSink() { out_.resize(static_cast<std::size_t>(cursor_ - out_.data())); }

    // Room for n more bytes; the text grows at least twofold when it must.
    char* room(std::size_t n) {
        std::size_t const used = static_cast<std::size_t>(cursor_ - out_.data());
        if (out_.size() - used < n) {
            out_.resize(std::max(out_.size() * 2, used + n));
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

}  // namespace epochsift
