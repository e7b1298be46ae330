// The binding's one exception boundary. The engine reports its failures as
// values; what it may still throw (allocation, a size past max_size, a
// thread that cannot start) must not unwind into the interpreter's C frames.
// Every module function runs its engine work through guarded and turns the
// outcome into the Python exception with raise_outcome.
#pragma once

#include <Python.h>

#include <new>
#include <stdexcept>
#include <system_error>

namespace epochsift::python {

enum class EngineOutcome {
    Done,
    OutOfMemory,  // std::bad_alloc, or std::length_error: a size past max_size
    Unexpected,   // anything else
};

// Touches no Python object, so it may run without the GIL.
template <class Work>
EngineOutcome guarded(Work&& work) noexcept {
    try {
        work();
        return EngineOutcome::Done;
    } catch (const std::bad_alloc&) {
        return EngineOutcome::OutOfMemory;
    } catch (const std::length_error&) {
        return EngineOutcome::OutOfMemory;
    } catch (...) {
        return EngineOutcome::Unexpected;
    }
}

// Null with the exception of an outcome other than Done set (MemoryError or
// SystemError); needs the GIL.
inline PyObject* raise_outcome(EngineOutcome outcome) {
    if (outcome == EngineOutcome::OutOfMemory) return PyErr_NoMemory();
    PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    return nullptr;
}

// For a function whose whole body may allocate as it builds Python objects:
// body runs with the GIL held and returns the result or null with an error
// set; an exception escaping it becomes the outcome's error.
template <class Body>
PyObject* guarded_call(Body&& body) noexcept {
    PyObject* result = nullptr;
    EngineOutcome const outcome = guarded([&] { result = body(); });
    return outcome == EngineOutcome::Done ? result : raise_outcome(outcome);
}

}  // namespace epochsift::python
