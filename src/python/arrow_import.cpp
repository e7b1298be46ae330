#include "python/arrow_import.hpp"

#include <string>
#include <string_view>

namespace epochsift::python {

namespace {

// At most `limit` bytes of a producer's text, printable ASCII kept and
// anything else written as '?': a format or error message of any length or
// content makes a short, readable exception.
std::string short_text(const char* text, std::size_t limit = 64) {
    if (text == nullptr) return "?";
    std::string out;
    std::size_t i = 0;
    for (; i < limit && text[i] != '\0'; ++i) {
        auto const c = static_cast<unsigned char>(text[i]);
        out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (i == limit && text[i] != '\0') out += "...";
    return out;
}

bool raise_fault(ArrowFault fault, const ArrowSchema& schema) {
    if (fault == ArrowFault::None) return false;
    if (fault == ArrowFault::UnsupportedType) {
        PyErr_Format(PyExc_TypeError,
                     "identify_arrow() needs a column of Arrow strings (utf8, large_utf8 or string_view) or integers, "
                     "not format '%s'",
                     short_text(schema.format).c_str());
        return true;
    }
    std::string const what(describe(fault));
    PyErr_Format(PyExc_ValueError, "identify_arrow(): malformed Arrow column: %s", what.c_str());
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

bool stream_failed(ArrowArrayStream& stream, const char* what) {
    char const* error = stream.get_last_error != nullptr ? stream.get_last_error(&stream) : nullptr;
    PyErr_Format(PyExc_ValueError, "identify_arrow(): the stream %s: %s", what, short_text(error, 200).c_str());
    return false;
}

bool import_stream(PyObject* column, ImportedArrays& imported, TextColumn& texts) {
    Ref capsule(capsule_from(column, "__arrow_c_stream__"));
    if (!capsule || !take_from_capsule(capsule.get(), "arrow_array_stream", imported.stream())) return false;
    ArrowArrayStream& stream = imported.stream();
    if (stream.get_schema == nullptr || stream.get_next == nullptr) {
        PyErr_SetString(PyExc_ValueError, "identify_arrow(): malformed Arrow stream: a callback is null");
        return false;
    }
    if (stream.get_schema(&stream, &imported.schema()) != 0) return stream_failed(stream, "gave no schema");
    ArrowSchema const& schema = imported.schema();
    if (raise_fault(validate_schema(schema), schema)) return false;
    for (;;) {
        ArrowArray& array = imported.add();
        if (stream.get_next(&stream, &array) != 0) return stream_failed(stream, "failed");
        if (array.release == nullptr) break;  // the end
        // Each array is checked against the one schema the stream gave.
        if (raise_fault(append_texts(schema, array, texts), schema)) return false;
    }
    return true;
}

}  // namespace

ImportedArrays::~ImportedArrays() {
    // A release callback may be Python code (ctypes, a Python producer): it
    // must not run with this call's exception set, nor lose it.
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    for (std::unique_ptr<ArrowArray>& array : arrays_) {
        if (array->release != nullptr) array->release(array.get());
    }
    if (schema_.release != nullptr) schema_.release(&schema_);
    if (stream_.release != nullptr) stream_.release(&stream_);
    // An error a callback left is dropped: the call's own outcome stands.
    PyErr_Clear();
    PyErr_Restore(type, value, traceback);
}

bool import_column(PyObject* column, ImportedArrays& imported, TextColumn& texts) {
    if (PyObject_HasAttrString(column, "__arrow_c_stream__")) return import_stream(column, imported, texts);
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
        return !raise_fault(append_texts(imported.schema(), array, texts), imported.schema());
    }
    PyErr_SetString(PyExc_TypeError,
                    "identify_arrow() needs an Arrow column: an object with __arrow_c_stream__ or __arrow_c_array__");
    return false;
}

}  // namespace epochsift::python
