// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/reading_json.hpp"
#include "python/batch_functions.hpp"
#include "python/py_ref.hpp"
#include "python/value_text.hpp"

namespace {

using epochsift::python::Ref;
using epochsift::python::utf8_of;

// Each module object's own state (multi-phase initialisation): nothing is
// kept in process globals, so a module made after Py_Finalize and
// Py_Initialize starts afresh.
struct ModuleState {
    PyObject* json_name;   // interned "json" and "loads": made once, not per call
    PyObject* loads_name;
};

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

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

// From this many bytes of text the engine runs with the GIL released: it
// then works for several microseconds or more, against a fraction of one to
// release and take back an uncontended GIL. Shorter texts keep the GIL.
constexpr Py_ssize_t RELEASE_GIL_FROM_BYTES = 8 * 1024;

enum class EngineOutcome {
    Done,
    OutOfMemory,  // std::bad_alloc, or std::length_error: a size past max_size
    Unexpected,   // anything else; the engine reports its failures as values
};

// Touches no Python object, so it may run without the GIL. No exception may
// unwind into the interpreter's C frames.
EngineOutcome run_engine(std::string_view text, std::string& json) noexcept {
    try {
        json = epochsift::identify_json(text);
        return EngineOutcome::Done;
    } catch (const std::bad_alloc&) {
        return EngineOutcome::OutOfMemory;
    } catch (const std::length_error&) {
        return EngineOutcome::OutOfMemory;
    } catch (...) {
        return EngineOutcome::Unexpected;
    }
}

// The engine's JSON text for one argument, or null with an exception set.
PyObject* identify_json_text(const char* function, PyObject* args, PyObject* kwargs) {
    PyObject* value = bind_value(function, args, kwargs);
    if (value == nullptr) return nullptr;
    // A new bytes object that only this call holds: the engine can read it
    // while other threads run.
    Ref utf8(utf8_of(value));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;
    std::string_view const text(data, static_cast<std::size_t>(size));

    std::string json;
    EngineOutcome outcome;
    if (size >= RELEASE_GIL_FROM_BYTES) {
        PyThreadState* thread = PyEval_SaveThread();
        outcome = run_engine(text, json);
        PyEval_RestoreThread(thread);
    } else {
        outcome = run_engine(text, json);
    }
    switch (outcome) {
        case EngineOutcome::Done:
            return PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()));
        case EngineOutcome::OutOfMemory:
            return PyErr_NoMemory();
        case EngineOutcome::Unexpected:
            break;
    }
    PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    return nullptr;
}

PyObject* py_identify_json(PyObject*, PyObject* args, PyObject* kwargs) {
    return identify_json_text("identify_json", args, kwargs);
}

PyObject* py_identify(PyObject* module, PyObject* args, PyObject* kwargs) {
    Ref text(identify_json_text("identify", args, kwargs));
    if (!text) return nullptr;
    // json.loads turns the 128-bit instants into exact Python ints. The
    // import goes through the interpreter's module cache on every call; only
    // the two names are kept.
    ModuleState* state = state_of(module);
    if (state == nullptr) return nullptr;
    Ref json_module(PyImport_Import(state->json_name));
    if (!json_module) return nullptr;
    Ref loads(PyObject_GetAttr(json_module.get(), state->loads_name));
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
    {"identify_many", as_cfunction(epochsift::python::identify_many), METH_VARARGS | METH_KEYWORDS,
     "identify_many(values, *, threads=None, best=None)\n"
     "--\n"
     "\n"
     "identify() of every str in the iterable `values`, as one list of readings per\n"
     "value in input order; with `best=K` only each value's first K readings. The\n"
     "engine runs without the GIL on `threads` threads (default: the cores this\n"
     "process may use). A bad item raises identify's error, naming its index."},
    {"identify_arrow", as_cfunction(epochsift::python::identify_arrow), METH_VARARGS | METH_KEYWORDS,
     "identify_arrow(column, *, best=1, threads=None)\n"
     "--\n"
     "\n"
     "Read an Arrow string column (any object with __arrow_c_stream__ or\n"
     "__arrow_c_array__ holding utf8, large_utf8 or string_view values) in place.\n"
     "Returns an Arrow struct column, one row per kept reading: row (int64, the\n"
     "input row), rank (int32, from 1), format_id, label, instant\n"
     "(timestamp[ns, UTC]; null outside int64), rendered and score. Null inputs\n"
     "and values without readings give no rows; best=None keeps every reading."},
    {nullptr, nullptr, 0, nullptr},
};

// A new interned str, or null with an exception set.
PyObject* interned(const char* text) {
    PyObject* name = PyUnicode_FromStringAndSize(text, static_cast<Py_ssize_t>(std::strlen(text)));
    if (name != nullptr) PyUnicode_InternInPlace(&name);
    return name;
}

// Pure-Python submodules (epochsift.spark) live in a directory installed
// beside the extension; naming it as __path__ lets `import epochsift.spark`
// find them while epochsift stays one file. A module loaded without a file
// (embedded, frozen) has no submodules.
constexpr const char* SUBMODULE_DIRECTORY = "epochsift-python";

int set_submodule_path(PyObject* module) {
    Ref file(PyObject_GetAttrString(module, "__file__"));
    if (!file) {
        PyErr_Clear();
        return 0;
    }
    Ref os_path(PyImport_ImportModule("os.path"));
    if (!os_path) return -1;
    Ref directory(PyObject_CallMethod(os_path.get(), "dirname", "O", file.get()));
    if (!directory) return -1;
    Ref submodules(PyObject_CallMethod(os_path.get(), "join", "Os", directory.get(), SUBMODULE_DIRECTORY));
    if (!submodules) return -1;
    Ref path(PyList_New(1));
    if (!path) return -1;
    PyList_SetItem(path.get(), 0, submodules.release());
    return PyObject_SetAttrString(module, "__path__", path.get());
}

int exec_module(PyObject* module) {
    // Only the main interpreter (ID 0, also after a re-initialisation) loads
    // the module, whichever interpreter asks first: the engine and the
    // binding are built and tested for one interpreter per process.
    int64_t const interpreter_id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter_id < 0) return -1;
    if (interpreter_id != 0) {
        PyErr_SetString(PyExc_ImportError, "epochsift does not support sub-interpreters");
        return -1;
    }
    ModuleState* state = state_of(module);
    if (state == nullptr) return -1;
    if ((state->json_name = interned("json")) == nullptr) return -1;
    if ((state->loads_name = interned("loads")) == nullptr) return -1;

    if (epochsift::python::add_arrow_types(module) != 0) return -1;
    if (set_submodule_path(module) != 0) return -1;

    Ref all(PyList_New(0));
    if (!all) return -1;
    for (PyMethodDef const* def = METHODS; def->ml_name != nullptr; ++def) {
        Ref name(PyUnicode_FromString(def->ml_name));
        if (!name || PyList_Append(all.get(), name.get()) != 0) return -1;
    }
    return PyObject_SetAttrString(module, "__all__", all.get());
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
    if (ModuleState* state = state_of(module)) {
        Py_VISIT(state->json_name);
        Py_VISIT(state->loads_name);
    }
    return 0;
}

int clear_module(PyObject* module) {
    if (ModuleState* state = state_of(module)) {
        Py_CLEAR(state->json_name);
        Py_CLEAR(state->loads_name);
    }
    return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef MODULE_DEF = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "epochsift",
    .m_doc = "",
    .m_size = sizeof(ModuleState),
    .m_methods = METHODS,
    .m_slots = SLOTS,
    .m_traverse = traverse_module,
    .m_clear = clear_module,
    .m_free = free_module,
};

}  // namespace

// Multi-phase initialisation: every import makes a new module object with
// its own state, in whichever interpreter imports it.
extern "C" PyMODINIT_FUNC PyInit_epochsift(void) { return PyModuleDef_Init(&MODULE_DEF); }
