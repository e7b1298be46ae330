// The one place a binding's C++ exceptions stop: none may unwind into the
// interpreter's C frames, where it would abort the process.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <stdexcept>

namespace epochsift::python {

// Runs body (which holds the GIL when it returns or throws) and turns an
// escaping exception into the Python error it stands for: MemoryError for a
// failed allocation or a size past max_size, SystemError for anything else.
template <class Body>
PyObject* guarded_call(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_Format(PyExc_SystemError, "epochsift: unexpected exception in the engine: %s", error.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    }
    return nullptr;
}

}  // namespace epochsift::python
