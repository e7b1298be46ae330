// A growable byte buffer for JSON text that, unlike std::string, does not
// zero the room it hands out: a writer asks for the most a piece can take,
// writes through a plain pointer and moves the cursor.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string_view>

namespace epochsift {

class JsonBuffer {
public:
    JsonBuffer() = default;
    explicit JsonBuffer(std::size_t capacity) { grow(capacity); }
    JsonBuffer(const JsonBuffer&) = delete;
    JsonBuffer& operator=(const JsonBuffer&) = delete;
    ~JsonBuffer() { std::free(data_); }

    // Room for n more bytes past the cursor; at least doubles when it grows.
    // Throws std::bad_alloc like the standard containers.
    char* room(std::size_t n) {
        if (capacity_ - size_ < n) grow(n);
        return data_ + size_;
    }
    void advance_to(char* p) { size_ = static_cast<std::size_t>(p - data_); }

    std::string_view view() const { return {data_, size_}; }
    std::size_t size() const { return size_; }

    // Empties the buffer, keeping its room for the next text.
    void clear() { size_ = 0; }
    // Empties it and gives its room back when that is above most.
    void clear_and_trim(std::size_t most) {
        size_ = 0;
        if (capacity_ <= most) return;
        std::free(data_);
        data_ = nullptr;
        capacity_ = 0;
    }

private:
    void grow(std::size_t n) {
        std::size_t const wanted = capacity_ * 2 > size_ + n ? capacity_ * 2 : size_ + n;
        void* grown = std::realloc(data_, wanted);
        if (grown == nullptr) {
#if defined(__cpp_exceptions)
            throw std::bad_alloc();
#else
            std::abort();  // as the standard containers do when built without exceptions
#endif
        }
        data_ = static_cast<char*>(grown);
        capacity_ = wanted;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace epochsift
