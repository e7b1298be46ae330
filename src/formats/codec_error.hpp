// Why a raw value has no reading in a family (or an instant no raw value).
// Never shown to the user: callers only learn that there is no reading.
#pragma once

#include <string_view>
#include <utility>
#include <variant>

#include "core/instant.hpp"

namespace epochsift {

struct CodecError {
    enum class Kind : uint8_t {
        Range,     // a value outside what the layout or family can hold
        Calendar,  // civil fields the calendar rejects, or an instant outside its range
    };
    Kind kind = Kind::Range;
    i128 value = 0;            // Range: the offending raw value, year, count or instant
    std::string_view message;  // Range: the fixed reason; Calendar: a static description

    static CodecError range(i128 value, std::string_view reason) { return {Kind::Range, value, reason}; }
    static CodecError calendar(std::string_view message) { return {Kind::Calendar, 0, message}; }
};

// A value or the CodecError that prevented it.
template <class T>
class CodecResult {
public:
    CodecResult(T value) : state_(std::move(value)) {}
    CodecResult(CodecError error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<0>(state_); }
    const T& operator*() const { return value(); }
    const CodecError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, CodecError> state_;
};

}  // namespace epochsift
