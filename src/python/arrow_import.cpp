#include "python/arrow_import.hpp"

namespace epochsift::python {

namespace {

bool raise_read_fault(ArrowReadFault fault, const ArrowSchema& schema) {
    switch (fault) {
        case ArrowReadFault::None: return false;
        case ArrowReadFault::UnsupportedType:
            PyErr_Format(PyExc_TypeError,
                         "identify_arrow() needs a column of Arrow strings (utf8, large_utf8 or string_view) or integers, "
                         "not format '%s'",
                         schema.format != nullptr ? schema.format : "?");
            return true;
        case ArrowReadFault::Malformed: break;
    }
    PyErr_SetString(PyExc_ValueError, "identify_arrow(): the Arrow array lacks a buffer its format needs");
    return true;
}

// Calls column.<method>() and returns the capsule it gives, or null.
PyObject* capsule_from(PyObject* column, const char* method) {
    Ref bound(PyObject_GetAttrString(column, method));
    if (!bound) return nullptr;
    return PyObject_CallObject(bound.get(), nullptr);
}

// Moves the struct out of the capsule, so that the capsule's destructor
// finds it released and this call owns it.
template <class Struct>
bool take_from_capsule(PyObject* capsule, const char* name, Struct& out) {
    auto* inside = static_cast<Struct*>(PyCapsule_GetPointer(capsule, name));
    if (inside == nullptr) return false;
    if (inside->release == nullptr) {
        PyErr_Format(PyExc_ValueError, "identify_arrow(): the %s capsule was already consumed", name);
        return false;
    }
    out = *inside;
    inside->release = nullptr;
    return true;
}

}  // namespace

bool import_column(PyObject* column, ImportedArrays& imported, TextColumn& texts) {
    if (PyObject_HasAttrString(column, "__arrow_c_stream__")) {
        Ref capsule(capsule_from(column, "__arrow_c_stream__"));
        if (!capsule || !take_from_capsule(capsule.get(), "arrow_array_stream", imported.stream())) return false;
        ArrowArrayStream& stream = imported.stream();
        if (stream.get_schema(&stream, &imported.schema()) != 0) {
            char const* error = stream.get_last_error(&stream);
            PyErr_Format(PyExc_ValueError, "identify_arrow(): the stream gave no schema: %s", error ? error : "?");
            return false;
        }
        for (;;) {
            ArrowArray& array = imported.add();
            if (stream.get_next(&stream, &array) != 0) {
                char const* error = stream.get_last_error(&stream);
                PyErr_Format(PyExc_ValueError, "identify_arrow(): the stream failed: %s", error ? error : "?");
                return false;
            }
            if (array.release == nullptr) break;  // the end
            if (raise_read_fault(append_texts(imported.schema(), array, texts), imported.schema())) return false;
        }
        return true;
    }
    if (PyObject_HasAttrString(column, "__arrow_c_array__")) {
        Ref pair(capsule_from(column, "__arrow_c_array__"));
        if (!pair) return false;
        if (!PyTuple_Check(pair.get()) || PyTuple_Size(pair.get()) != 2) {
            PyErr_SetString(PyExc_TypeError, "__arrow_c_array__() must return a (schema, array) pair of capsules");
            return false;
        }
        if (!take_from_capsule(PyTuple_GetItem(pair.get(), 0), "arrow_schema", imported.schema())) return false;
        ArrowArray& array = imported.add();
        if (!take_from_capsule(PyTuple_GetItem(pair.get(), 1), "arrow_array", array)) return false;
        return !raise_read_fault(append_texts(imported.schema(), array, texts), imported.schema());
    }
    PyErr_SetString(PyExc_TypeError,
                    "identify_arrow() needs an Arrow column: an object with __arrow_c_stream__ or __arrow_c_array__");
    return false;
}

}  // namespace epochsift::python
