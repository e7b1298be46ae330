// The module's batch functions over many values: identify_many (any
// iterable of str) and identify_arrow (an Arrow string column).
#pragma once

#include "python/py_ref.hpp"

namespace epochsift::python {

PyObject* identify_many(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* identify_arrow(PyObject* module, PyObject* args, PyObject* kwargs);

// Adds the type identify_arrow returns to the module. -1 with an exception
// set on failure.
int add_arrow_types(PyObject* module);

}  // namespace epochsift::python
