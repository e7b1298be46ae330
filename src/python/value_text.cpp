#include "python/value_text.hpp"

namespace epochsift::python {

// The name of the value's type, read through type.__dict__['__name__']: a
// metaclass may define `__name__` as anything (a property returning an int,
// or raising), but the type's own descriptor always gives a str and runs no
// code of the caller's.
PyObject* type_name_of(PyObject* value) {
    Ref type_dict(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyType_Type), "__dict__"));
    if (!type_dict) return nullptr;
    Ref descriptor(PyMapping_GetItemString(type_dict.get(), "__name__"));
    if (!descriptor) return nullptr;
    Ref name(PyObject_CallMethod(descriptor.get(), "__get__", "O", reinterpret_cast<PyObject*>(Py_TYPE(value))));
    if (name && !PyUnicode_Check(name.get())) {
        PyErr_SetString(PyExc_SystemError, "type.__name__ is not a str");
        return nullptr;
    }
    return name.release();
}

// The UTF-8 bytes of a str (or str subclass) argument, owned by the
// returned bytes object. Null with an exception set otherwise.
PyObject* utf8_of(PyObject* value, const char* what) {
    if (!(PyType_GetFlags(Py_TYPE(value)) & Py_TPFLAGS_UNICODE_SUBCLASS)) {
        Ref type_name(type_name_of(value));
        if (!type_name) return nullptr;
        PyErr_Format(PyExc_TypeError, "%s: '%U' object cannot be converted to a string (pass the value as str)",
                     what, type_name.get());
        return nullptr;
    }
    // Raises the codec's UnicodeEncodeError for lone surrogates, unchanged.
    return PyUnicode_AsUTF8String(value);
}

PyObject* integer_utf8_of(PyObject* value) {
    // bool is an int, but True is no timestamp's text; numpy's bool_ has no
    // __index__ to begin with.
    if (PyBool_Check(value) || !PyIndex_Check(value)) return nullptr;
    Ref number(PyNumber_Index(value));
    if (!number) return nullptr;
    Ref text(PyNumber_ToBase(number.get(), 10));
    if (!text) return nullptr;
    return PyUnicode_AsUTF8String(text.get());
}

}  // namespace epochsift::python
