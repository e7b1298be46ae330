// An iterable of str as the UTF-8 texts the engine reads, back to back in
// one buffer, converted with the GIL held before any work starts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "python/py_ref.hpp"

namespace epochsift::python {

struct TextItems {
    std::string bytes;
    std::vector<std::string_view> views;  // made once the bytes stop moving
};

// How an item that is not a readable str is reported.
enum class ItemErrors : uint8_t {
    AsValue,  // as identify reports its one argument
    Indexed,  // naming the function and the item's index, in the TypeError and the UnicodeEncodeError
};

// Appends every item of values; false with the item's TypeError or
// UnicodeEncodeError, or MemoryError, set.
bool collect_text_items(const char* function, PyObject* values, ItemErrors errors, TextItems& items);

}  // namespace epochsift::python
