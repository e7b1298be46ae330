// The engine's JSON text as a Python str.
#pragma once

#include <string_view>

#include "python/py_ref.hpp"

namespace epochsift::python {

// The str of UTF-8 text, or null with the codec's error set: the same str
// and the same error as PyUnicode_FromStringAndSize.
PyObject* str_from_utf8(std::string_view text);

}  // namespace epochsift::python
