// The module's blob scanner: scan (a list of dicts) and scan_arrow (Arrow
// columns), over bytes or any object with the buffer protocol.
#pragma once

#include "python/py_ref.hpp"

namespace epochsift::python {

PyObject* scan(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* scan_arrow(PyObject* module, PyObject* args, PyObject* kwargs);

// Adds the type scan_arrow returns. -1 with an exception set on failure.
int add_scan_types(PyObject* module);

extern const char* const SCAN_DOC;
extern const char* const SCAN_ARROW_DOC;

}  // namespace epochsift::python
