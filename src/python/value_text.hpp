// A Python argument as the UTF-8 text the engine reads.
#pragma once

#include "python/py_ref.hpp"

namespace epochsift::python {

// The name of the value's type as a str, or null with an exception set.
PyObject* type_name_of(PyObject* value);

// The UTF-8 bytes of a str (or str subclass) argument, owned by the
// returned bytes object. Null with TypeError (naming `what`, e.g.
// "argument 'value'") or the codec's UnicodeEncodeError set otherwise.
PyObject* utf8_of(PyObject* value, const char* what = "argument 'value'");

// An integer item of a column (int, numpy integers: anything with
// __index__ but bool) as the UTF-8 bytes of its decimal text; null with no
// exception set when the item is no integer, with one set when converting
// it failed.
PyObject* integer_utf8_of(PyObject* value);

}  // namespace epochsift::python
