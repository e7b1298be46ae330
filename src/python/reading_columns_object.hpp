// The Python type identify_arrow returns: a share of the reading columns,
// exported through the Arrow PyCapsule interface.
#pragma once

#include <memory>

#include "python/py_ref.hpp"
#include "python/reading_columns.hpp"

namespace epochsift::python {

// Adds the type to the module as ReadingColumns; -1 with an exception set.
int add_reading_columns_type(PyObject* module);

// A new ReadingColumns object of the module's type, or null with an
// exception set.
PyObject* wrap_columns(PyObject* module, std::shared_ptr<const ReadingColumns> columns);

}  // namespace epochsift::python
