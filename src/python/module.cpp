// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "interpret/identify.hpp"

namespace {

PyObject* g_module = nullptr;            // the one module object, kept for re-initialisation
int64_t g_interpreter_id = -1;           // interpreter that first initialised the module
PyObject* g_json_name = nullptr;          // interned "json" and "loads": made once, not per call
PyObject* g_loads_name = nullptr;

// Owns one reference; releases it on every path.
class Ref {
public:
    explicit Ref(PyObject* object = nullptr) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(object_); }
    PyObject* get() const { return object_; }
    PyObject* release() {
        PyObject* object = object_;
        object_ = nullptr;
        return object;
    }
    explicit operator bool() const { return object_ != nullptr; }
    void reset(PyObject* object) {
        Py_XDECREF(object_);
        object_ = object;
    }

private:
    PyObject* object_;
};

// Binds the one parameter `value` from positional or keyword arguments,
// with the interpreter's usual wording for each fault. Returns a borrowed
// reference, or null with TypeError set.
PyObject* bind_value(const char* function, PyObject* args, PyObject* kwargs) {
    Py_ssize_t const positional = PyTuple_Size(args);
    if (positional < 0) return nullptr;
    Py_ssize_t const keywords = kwargs ? PyDict_Size(kwargs) : 0;
    if (positional + keywords > 1) {
        if (positional > 1) {
            PyErr_Format(PyExc_TypeError, "%s() takes at most 1 argument (%zd given)", function, positional + keywords);
            return nullptr;
        }
    }
    PyObject* value = positional == 1 ? PyTuple_GetItem(args, 0) : nullptr;
    if (keywords > 0) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &item)) {
            if (!PyUnicode_Check(key) || PyUnicode_CompareWithASCIIString(key, "value") != 0) {
                Ref key_repr(PyObject_Repr(key));
                if (!key_repr) return nullptr;
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %U", function, key_repr.get());
                return nullptr;
            }
            if (value != nullptr) {
                PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('value') and position (1)", function);
                return nullptr;
            }
            value = item;
        }
    }
    if (value == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() missing required argument 'value' (pos 1)", function);
    }
    return value;
}

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
PyObject* utf8_of(PyObject* value) {
    if (!(PyType_GetFlags(Py_TYPE(value)) & Py_TPFLAGS_UNICODE_SUBCLASS)) {
        Ref type_name(type_name_of(value));
        if (!type_name) return nullptr;
        PyErr_Format(PyExc_TypeError, "argument 'value': '%U' object cannot be converted to a string (pass the value as str)",
                     type_name.get());
        return nullptr;
    }
    // Raises the codec's UnicodeEncodeError for lone surrogates, unchanged.
    return PyUnicode_AsUTF8String(value);
}

// The engine's JSON text for one argument, or null with an exception set.
PyObject* identify_json_text(const char* function, PyObject* args, PyObject* kwargs) {
    PyObject* value = bind_value(function, args, kwargs);
    if (value == nullptr) return nullptr;
    Ref utf8(utf8_of(value));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;

    // The engine reports every failure as a value; what it can throw is an
    // allocation failing (std::length_error is a size past max_size). An
    // exception must not unwind into the interpreter's C frames.
    std::string json;
    try {
        json = epochsift::identify_json(std::string_view(data, static_cast<std::size_t>(size)));
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
        return nullptr;
    }
    return PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()));
}

PyObject* py_identify_json(PyObject*, PyObject* args, PyObject* kwargs) {
    return identify_json_text("identify_json", args, kwargs);
}

PyObject* py_identify(PyObject*, PyObject* args, PyObject* kwargs) {
    Ref text(identify_json_text("identify", args, kwargs));
    if (!text) return nullptr;
    // json.loads turns the 128-bit instants into exact Python ints. The
    // import goes through the interpreter's module cache on every call; only
    // the two names are kept.
    Ref json_module(PyImport_Import(g_json_name));
    if (!json_module) return nullptr;
    Ref loads(PyObject_GetAttr(json_module.get(), g_loads_name));
    if (!loads) return nullptr;
    Ref call_args(PyTuple_New(1));
    if (!call_args) return nullptr;
    if (PyTuple_SetItem(call_args.get(), 0, text.release()) != 0) return nullptr;  // steals the text
    return PyObject_Call(loads.get(), call_args.get(), nullptr);
}

// A keyword-taking function goes through void (*)(void) to fit PyCFunction.
template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef METHODS[] = {
    {"identify", as_cfunction(py_identify), METH_VARARGS | METH_KEYWORDS,
     "identify(value)\n"
     "--\n"
     "\n"
     "Identify a timestamp value across every format family, returning the ranked\n"
     "readings as a list of dicts (`format_id`, `rendered`, `score`, `citation`,\n"
     "`assumptions`, `components`, ...). Empty list if nothing decodes.\n"
     "\n"
     "Decoded via Python's `json` so the engine's `i128` instant becomes a native\n"
     "(arbitrary-precision) Python int rather than tripping a fixed-width limit."},
    {"identify_json", as_cfunction(py_identify_json), METH_VARARGS | METH_KEYWORDS,
     "identify_json(value)\n"
     "--\n"
     "\n"
     "Identify a value, returning the ranked readings as a JSON string."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "epochsift",  // m_name
    "",           // m_doc
    0,            // m_size: no per-module state
    nullptr,      // m_methods: added one by one below, with __all__
    nullptr,      // m_slots
    nullptr,      // m_traverse
    nullptr,      // m_clear
    nullptr,      // m_free
};

// Adds one function as a module attribute and appends its name to __all__.
bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* def) {
    Ref function(PyCMethod_New(def, module, module_name, nullptr));
    if (!function) return false;
    Ref name(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name) return false;
    Ref all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all.reset(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return false;
    }
    if (PyList_Append(all.get(), name.get()) != 0) return false;
    return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

// A new interned str, or null with an exception set.
PyObject* interned(const char* text) {
    PyObject* name = PyUnicode_FromStringAndSize(text, static_cast<Py_ssize_t>(std::strlen(text)));
    if (name != nullptr) PyUnicode_InternInPlace(&name);
    return name;
}

}  // namespace

extern "C" PyMODINIT_FUNC PyInit_epochsift(void) {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    int64_t const interpreter_id = PyInterpreterState_GetID(interpreter);
    if (interpreter_id < 0) return nullptr;
    if (g_interpreter_id >= 0 && g_interpreter_id != interpreter_id) {
        PyErr_SetString(PyExc_ImportError, "epochsift does not support sub-interpreters");
        return nullptr;
    }
    if (g_module != nullptr) {
        Py_INCREF(g_module);
        return g_module;
    }
    if (g_json_name == nullptr && (g_json_name = interned("json")) == nullptr) return nullptr;
    if (g_loads_name == nullptr && (g_loads_name = interned("loads")) == nullptr) return nullptr;
    Ref module(PyModule_Create2(&MODULE_DEF, 3));
    if (!module) return nullptr;
    Ref module_name(PyModule_GetNameObject(module.get()));
    if (!module_name) return nullptr;
    for (PyMethodDef* def = METHODS; def->ml_name != nullptr; ++def) {
        if (!add_function(module.get(), module_name.get(), def)) return nullptr;
    }
    g_interpreter_id = interpreter_id;
    g_module = module.release();
    Py_INCREF(g_module);  // one reference kept here for re-initialisation
    return g_module;
}
