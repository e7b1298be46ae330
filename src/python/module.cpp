// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include <new>
#include <optional>
#include <vector>

#include "engine/encode.hpp"
#include "engine/instant_text.hpp"
#include "engine/zoned_readings.hpp"
#include "output/encoded_json.hpp"
#include "output/reading_json.hpp"
#include "output/zoned_json.hpp"

namespace {

PyObject* g_module = nullptr;            // the one module object, kept for re-initialisation
int64_t g_interpreter_id = -1;           // interpreter that first initialised the module
PyObject* g_engine_fault_type = nullptr;  // raised when the engine breaks an invariant
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

// The UTF-8 bytes of a str (or str subclass) argument, owned by the
// returned bytes object. Null with an exception set otherwise.
PyObject* utf8_of(PyObject* value) {
    if (!(PyType_GetFlags(Py_TYPE(value)) & Py_TPFLAGS_UNICODE_SUBCLASS)) {
        Ref type_name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__name__"));
        if (!type_name) return nullptr;
        PyErr_Format(PyExc_TypeError, "argument 'value': '%U' object cannot be converted to a string (pass the value as str)",
                     type_name.get());
        return nullptr;
    }
    // Raises the codec's UnicodeEncodeError for lone surrogates, unchanged.
    return PyUnicode_AsUTF8String(value);
}

PyObject* engine_fault_type() {
    if (g_engine_fault_type == nullptr) {
        // Derived from BaseException so that a broad `except Exception`
        // does not swallow a broken engine.
        g_engine_fault_type = PyErr_NewExceptionWithDoc(
            "epochsift.EngineFault", "An internal invariant of the epochsift engine was broken.",
            PyExc_BaseException, nullptr);
    }
    return g_engine_fault_type;
}

// True when a keyword other than `value` was passed: the zoned path.
bool has_zone_keywords(PyObject* kwargs) {
    if (kwargs == nullptr) return false;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &item)) {
        if (!PyUnicode_Check(key)) return false;  // bind_value reports it
        for (const char* name : {"extended", "tz", "local_zone"}) {
            if (PyUnicode_CompareWithASCIIString(key, name) == 0) return true;
        }
    }
    return false;
}

// The zoneinfo directory of Python's tzdata package, or nothing when it is
// not installed (any error on the way is cleared).
std::optional<std::string> tzdata_directory() {
    std::optional<std::string> out;
    Ref resources(PyImport_ImportModule("importlib.resources"));
    Ref files(resources ? PyObject_GetAttrString(resources.get(), "files") : nullptr);
    Ref root(files ? PyObject_CallFunction(files.get(), "s", "tzdata.zoneinfo") : nullptr);
    Ref text(root ? PyObject_Str(root.get()) : nullptr);
    Ref utf8(text ? PyUnicode_AsUTF8String(text.get()) : nullptr);
    if (utf8) {
        if (const char* path = PyBytes_AsString(utf8.get())) out = std::string(path);
    }
    PyErr_Clear();
    return out;
}

// A zone keyword's zone, or nothing; false with ValueError set for an
// unknown name. A name the system's tz database lacks is looked up in the
// tzdata package, where installed.
bool zone_argument(const char* keyword, const char* name, std::optional<epochsift::TimeZone>& zone) {
    if (name == nullptr) return true;
    zone = epochsift::TimeZone::find(name);
    if (!zone && !epochsift::TimeZone::is_fixed_offset(name)) {
        if (auto const directory = tzdata_directory()) zone = epochsift::TimeZone::find(name, *directory);
    }
    if (zone) return true;
    PyErr_Format(PyExc_ValueError, "%s: unknown time zone '%s'", keyword, name);
    return false;
}

// identify's JSON with the readings seen through time zones.
PyObject* zoned_json_text(const char* function, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"value", "extended", "tz", "local_zone", nullptr};
    std::string format = "U|$pzz:";
    format += function;
    PyObject* value = nullptr;
    int extended = 0;
    const char* tz = nullptr;
    const char* local_zone = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &value, &extended,
                                     &tz, &local_zone)) {
        return nullptr;
    }
    std::optional<epochsift::TimeZone> display, local;
    if (!zone_argument("tz", tz, display) || !zone_argument("local_zone", local_zone, local)) return nullptr;
    Ref utf8(utf8_of(value));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;
    epochsift::ZoneOptions const options{display ? &*display : nullptr, local ? &*local : nullptr};
    std::string json;
    try {
        auto const readings =
            epochsift::identify_zoned(std::string_view(data, static_cast<std::size_t>(size)), options);
        json = epochsift::zoned_json(readings, display ? display->name() : std::string_view(),
                                     local ? local->name() : std::string_view());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (const std::exception& fault) {
        if (PyObject* type = engine_fault_type()) PyErr_SetString(type, fault.what());
        return nullptr;
    }
    return PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()));
}

// The engine's JSON text for one argument, or null with an exception set.
PyObject* identify_json_text(const char* function, PyObject* args, PyObject* kwargs) {
    if (has_zone_keywords(kwargs)) return zoned_json_text(function, args, kwargs);
    PyObject* value = bind_value(function, args, kwargs);
    if (value == nullptr) return nullptr;
    Ref utf8(utf8_of(value));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;

    std::string json;
    try {
        json = epochsift::identify_json(std::string_view(data, static_cast<std::size_t>(size)));
    } catch (const std::exception& fault) {
        if (PyObject* type = engine_fault_type()) PyErr_SetString(type, fault.what());
        return nullptr;
    } catch (...) {
        if (PyObject* type = engine_fault_type()) PyErr_SetString(type, "unknown engine fault");
        return nullptr;
    }
    return PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()));
}

PyObject* py_identify_json(PyObject*, PyObject* args, PyObject* kwargs) {
    return identify_json_text("identify_json", args, kwargs);
}

// json.loads(text), stealing the text.
PyObject* loads(PyObject* text_object) {
    Ref text(text_object);
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

PyObject* py_identify(PyObject*, PyObject* args, PyObject* kwargs) {
    return loads(identify_json_text("identify", args, kwargs));
}

// The text of `when`: str as given, int in decimal, an aware datetime in ISO
// 8601. Null with TypeError or ValueError set otherwise.
PyObject* when_text(PyObject* when) {
    if (PyUnicode_Check(when)) {
        Py_INCREF(when);
        return when;
    }
    if (PyLong_Check(when) && !PyBool_Check(when)) return PyObject_Str(when);
    Ref offset(PyObject_HasAttrString(when, "utcoffset") && PyObject_HasAttrString(when, "isoformat")
                   ? PyObject_CallMethod(when, "utcoffset", nullptr)
                   : nullptr);
    if (!offset) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_TypeError,
                            "encode() takes integer nanoseconds, an aware datetime or RFC 3339 text");
        }
        return nullptr;
    }
    if (offset.get() == Py_None) {
        PyErr_SetString(PyExc_ValueError, "encode() needs an aware datetime (this one has no tzinfo)");
        return nullptr;
    }
    return PyObject_CallMethod(when, "isoformat", nullptr);
}

// The family ids to keep; an empty list keeps all. False with an exception set.
bool family_ids(PyObject* families, std::vector<std::string>& ids) {
    if (families == nullptr || families == Py_None) return true;
    if (PyUnicode_Check(families)) {
        PyErr_SetString(PyExc_TypeError, "families takes a list of family ids, not one string");
        return false;
    }
    Ref iterator(PyObject_GetIter(families));
    if (!iterator) return false;
    while (PyObject* raw_item = PyIter_Next(iterator.get())) {
        Ref item(raw_item);
        if (!PyUnicode_Check(item.get())) {
            PyErr_SetString(PyExc_TypeError, "families takes family ids as str");
            return false;
        }
        Ref utf8(PyUnicode_AsUTF8String(item.get()));
        if (!utf8) return false;
        const char* id = PyBytes_AsString(utf8.get());
        if (id == nullptr) return false;
        if (!epochsift::is_family_id(id)) {
            PyErr_Format(PyExc_ValueError, "unknown family id '%s'", id);
            return false;
        }
        ids.emplace_back(id);
    }
    if (PyErr_Occurred()) return false;
    if (ids.empty()) {
        PyErr_SetString(PyExc_ValueError, "families lists no family");
        return false;
    }
    return true;
}

PyObject* py_encode(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"when", "families", nullptr};
    PyObject* when = nullptr;
    PyObject* families = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$O:encode", const_cast<char**>(keywords), &when, &families)) {
        return nullptr;
    }
    std::vector<std::string> ids;
    if (!family_ids(families, ids)) return nullptr;
    Ref text(when_text(when));
    if (!text) return nullptr;
    Ref utf8(PyUnicode_AsUTF8String(text.get()));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;
    auto const instant = epochsift::parse_instant(std::string_view(data, static_cast<std::size_t>(size)));
    if (!instant) {
        PyErr_Format(PyExc_ValueError, "not an instant within years -9999 to 9999: %R", when);
        return nullptr;
    }
    std::string json;
    try {
        std::vector<std::string_view> const wanted(ids.begin(), ids.end());
        json = epochsift::encoded_json(epochsift::encode(*instant, wanted), *instant);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return loads(PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size())));
}

// A keyword-taking function goes through void (*)(void) to fit PyCFunction.
template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef METHODS[] = {
    {"identify", as_cfunction(py_identify), METH_VARARGS | METH_KEYWORDS,
     "identify(value, *, extended=False, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "Identify a timestamp value across every format family, returning the ranked\n"
     "readings as a list of dicts (`format_id`, `rendered`, `score`, `citation`,\n"
     "`assumptions`, `components`, ...). Empty list if nothing decodes.\n"
     "\n"
     "Decoded via Python's `json` so the engine's `i128` instant becomes a native\n"
     "(arbitrary-precision) Python int rather than tripping a fixed-width limit."},
    {"identify_json", as_cfunction(py_identify_json), METH_VARARGS | METH_KEYWORDS,
     "identify_json(value, *, extended=False, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "Identify a value, returning the ranked readings as a JSON string.\n"
     "tz adds each reading's wall clock in that zone under \"local\"; local_zone\n"
     "reads wall-clock families as that zone's local time (\"local_zone\")."},
    {"encode", as_cfunction(py_encode), METH_VARARGS | METH_KEYWORDS,
     "encode(when, *, families=None)\n"
     "--\n"
     "\n"
     "The value each family would hold for an instant (integer ns since 1970 UTC,\n"
     "an aware datetime or RFC 3339 text): format_id, label, value, instant,\n"
     "rendered, hex_be, hex_le, exact and assumptions."},
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
