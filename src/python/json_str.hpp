// The engine's JSON text as a Python str.
#pragma once

#include <cstddef>
#include <string_view>

#include "python/py_ref.hpp"

namespace epochsift::python {

// Scratch buffers a thread keeps between calls, up to this size each.
inline constexpr std::size_t KEPT_SCRATCH_BYTES = std::size_t{1} << 20;

// The str of UTF-8 text, or null with the codec's error set: the same str
// and the same error as PyUnicode_FromStringAndSize.
PyObject* str_from_utf8(std::string_view text);

}  // namespace epochsift::python
