// An owned reference to a Python object, released on every path.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace epochsift::python {

class Ref {
public:
    explicit Ref(PyObject* object = nullptr) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(other.release()) {}
    Ref& operator=(Ref&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }
    PyObject* get() const { return object_; }
    PyObject* release() {
        PyObject* object = object_;
        object_ = nullptr;
        return object;
    }
    explicit operator bool() const { return object_ != nullptr; }
    void reset(PyObject* object) {
        PyObject* old = object_;
        object_ = object;
        Py_XDECREF(old);
    }

private:
    PyObject* object_;
};

}  // namespace epochsift::python
