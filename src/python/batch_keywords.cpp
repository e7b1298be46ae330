#include "python/batch_keywords.hpp"

#include <limits>

#include "python/chunk_pool.hpp"

namespace epochsift::python {

namespace {

// A positive int, or None for the default. False with an exception set.
bool positive_or_none(const char* function, const char* name, PyObject* value, std::size_t limit,
                      std::size_t& out) {
    if (value == Py_None) return true;
    if (!PyLong_Check(value) || PyBool_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a positive int or None", function, name);
        return false;
    }
    int overflow = 0;
    long long const number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (number == -1 && PyErr_Occurred()) return false;
    if (overflow < 0 || (overflow == 0 && number < 1)) {
        PyErr_Format(PyExc_ValueError, "%s() argument '%s' must be at least 1", function, name);
        return false;
    }
    out = overflow > 0 || static_cast<unsigned long long>(number) > limit ? limit : static_cast<std::size_t>(number);
    return true;
}

// by_column: a bool, or the id of the format to decode by. False with an
// exception set.
bool bind_by_column(const char* function, PyObject* item, BatchKeywords& out) {
    if (PyBool_Check(item)) {
        out.by_column = item == Py_True;
        out.column_format.reset();
        return true;
    }
    if (!PyUnicode_Check(item)) {
        PyErr_Format(PyExc_TypeError, "%s() argument 'by_column' must be a bool or a format id", function);
        return false;
    }
    Ref utf8(PyUnicode_AsUTF8String(item));
    if (!utf8) return false;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return false;
    auto const format = find_format(std::string_view(data, static_cast<std::size_t>(size)));
    if (!format) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'by_column': unknown format id %R", function, item);
        return false;
    }
    out.by_column = true;
    out.column_format = *format;
    return true;
}

// Worker threads beyond this many only add contention.
constexpr std::size_t MAX_THREADS = 1024;

}  // namespace

PyObject* bind_batch(const char* function, PyObject* args, PyObject* kwargs, std::size_t default_best,
                     BatchKeywords& out, CallOptions& options, BatchFunction which) {
    Py_ssize_t const positional = PyTuple_Size(args);
    if (positional < 0) return nullptr;
    if (positional != 1) {
        PyErr_Format(PyExc_TypeError, "%s() takes exactly 1 positional argument (%zd given)", function, positional);
        return nullptr;
    }
    out.best = default_best;
    out.threads = 0;
    // The batch functions rank as the command line does; extended=False
    // asks for the reference reading.
    options.read.extended = true;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &item)) {
            std::size_t number = 0;
            if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, "threads") == 0) {
                if (!positive_or_none(function, "threads", item, MAX_THREADS, number)) return nullptr;
                out.threads = static_cast<unsigned>(number);
            } else if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, "best") == 0) {
                if (!positive_or_none(function, "best", item, std::numeric_limits<std::size_t>::max(), number)) {
                    return nullptr;
                }
                out.best = item == Py_None ? 0 : number;  // None: every reading
            } else if (which == BatchFunction::Arrow && PyUnicode_Check(key) &&
                       PyUnicode_CompareWithASCIIString(key, "keep_empty") == 0) {
                if (!PyBool_Check(item)) {
                    PyErr_Format(PyExc_TypeError, "%s() argument 'keep_empty' must be a bool", function);
                    return nullptr;
                }
                out.keep_empty = item == Py_True;
            } else if (which == BatchFunction::Arrow && PyUnicode_Check(key) &&
                       PyUnicode_CompareWithASCIIString(key, "by_column") == 0) {
                if (!bind_by_column(function, item, out)) return nullptr;
            } else {
                int const bound = bind_option(function, IDENTIFY_OPTIONS, key, item, options);
                if (bound < 0) return nullptr;
                if (bound == 0) {
                    Ref key_repr(PyObject_Repr(key));
                    if (!key_repr) return nullptr;
                    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %U", function,
                                 key_repr.get());
                    return nullptr;
                }
            }
        }
    }
    finish_options(options);
    // More threads than cores only contend, and each costs a stack and
    // thread-local memory: the cores bound what is asked.
    unsigned const cores = available_cores();
    if (out.threads == 0 || out.threads > cores) out.threads = cores;
    return PyTuple_GetItem(args, 0);
}

}  // namespace epochsift::python
