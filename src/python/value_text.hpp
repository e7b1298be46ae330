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

}  // namespace epochsift::python
