// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "core/civil.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/read_options.hpp"
#include "formats/iso8601.hpp"
#include "output/reading_json.hpp"

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

// The keyword-only options every identify function takes, parsed once into
// the engine's options. The texts and numbers those options point into live
// here, so a CallOptions must outlive the engine call.
struct CallOptions {
    epochsift::ReadOptions read;
    std::string hint;
    bool has_hint = false;
    std::vector<int64_t> neighbours;
};

// Which keyword options a function accepts.
enum OptionKey : unsigned {
    OPT_EXTENDED = 1u << 0,
    OPT_HINT = 1u << 1,
    OPT_BYTE_WIDTH = 1u << 2,
    OPT_BYTE_ORDER = 1u << 3,
    OPT_NEIGHBOURS = 1u << 4,
    OPT_WINDOW = 1u << 5,
};
constexpr unsigned IDENTIFY_OPTIONS = OPT_EXTENDED | OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_NEIGHBOURS | OPT_WINDOW;

struct OptionName {
    OptionKey key;
    const char* name;
};
constexpr OptionName OPTION_NAMES[] = {
    {OPT_EXTENDED, "extended"}, {OPT_HINT, "hint"},           {OPT_BYTE_WIDTH, "byte_width"},
    {OPT_BYTE_ORDER, "byte_order"}, {OPT_NEIGHBOURS, "neighbours"}, {OPT_WINDOW, "window"},
};

// The type name of an object, for messages; null with an exception set.
PyObject* type_name_of(PyObject* object) {
    return PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__");
}

bool fail_type(const char* function, const char* option, const char* expected, PyObject* got) {
    Ref name(type_name_of(got));
    if (!name) return false;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not '%U'", function, option, expected, name.get());
    return false;
}

bool is_int_not_bool(PyObject* object) { return PyLong_Check(object) && !PyBool_Check(object); }

// A Python int that fits a signed 64-bit integer; false with an exception set.
bool int64_of(const char* function, const char* option, PyObject* object, int64_t& out) {
    int overflow = 0;
    long long const value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow != 0) {
        PyErr_Format(PyExc_ValueError, "%s() argument '%s': %R does not fit a signed 64-bit integer", function, option,
                     object);
        return false;
    }
    out = value;
    return true;
}

// The UTF-8 text of a str, copied; false with an exception set.
bool text_of(PyObject* object, std::string& out) {
    Ref utf8(PyUnicode_AsUTF8String(object));
    if (!utf8) return false;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool get_int_attr(PyObject* object, const char* name, long& out) {
    Ref item(PyObject_GetAttrString(object, name));
    if (!item) return false;
    out = PyLong_AsLong(item.get());
    return !(out == -1 && PyErr_Occurred());
}

// One end of a window: an aware datetime, RFC 3339 text with an offset, or
// an integer count of nanoseconds since the Unix epoch.
bool window_end_of(const char* function, PyObject* end, epochsift::PosixNs& out) {
    if (is_int_not_bool(end)) {
        int64_t ns = 0;
        if (!int64_of(function, "window", end, ns)) return false;
        out = epochsift::PosixNs{ns};
        return true;
    }
    if (PyUnicode_Check(end)) {
        std::string text;
        if (!text_of(end, text)) return false;
        auto const instant = epochsift::parse_iso8601(epochsift::trim_white_space(text));
        if (!instant) {
            PyErr_Format(PyExc_ValueError,
                         "%s() argument 'window': %R is not an RFC 3339 date-time with an offset", function, end);
            return false;
        }
        out = *instant;
        return true;
    }
    Ref datetime_module(PyImport_ImportModule("datetime"));
    if (!datetime_module) return false;
    Ref datetime_type(PyObject_GetAttrString(datetime_module.get(), "datetime"));
    if (!datetime_type) return false;
    int const is_datetime = PyObject_IsInstance(end, datetime_type.get());
    if (is_datetime < 0) return false;
    if (is_datetime == 0) {
        return fail_type(function, "window", "a pair of aware datetimes, RFC 3339 texts or integer nanoseconds", end);
    }
    Ref offset(PyObject_CallMethod(end, "utcoffset", nullptr));
    if (!offset) return false;
    if (offset.get() == Py_None) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'window': %R is a naive datetime; give it a tzinfo", function, end);
        return false;
    }
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0;
    long offset_days = 0, offset_seconds = 0, offset_micro = 0;
    if (!get_int_attr(end, "year", year) || !get_int_attr(end, "month", month) || !get_int_attr(end, "day", day) ||
        !get_int_attr(end, "hour", hour) || !get_int_attr(end, "minute", minute) ||
        !get_int_attr(end, "second", second) || !get_int_attr(end, "microsecond", micro) ||
        !get_int_attr(offset.get(), "days", offset_days) || !get_int_attr(offset.get(), "seconds", offset_seconds) ||
        !get_int_attr(offset.get(), "microseconds", offset_micro)) {
        return false;
    }
    // datetime keeps its fields in range and its offset within a day.
    auto const local = epochsift::civil_to_posix(epochsift::CivilTime{
        static_cast<int32_t>(year), static_cast<int32_t>(month), static_cast<int32_t>(day), static_cast<int32_t>(hour),
        static_cast<int32_t>(minute), static_cast<int32_t>(second), static_cast<int32_t>(micro * 1000)});
    if (!local) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'window': %R is outside the calendar range", function, end);
        return false;
    }
    epochsift::i128 const offset_ns =
        (static_cast<epochsift::i128>(offset_days) * 86'400 + offset_seconds) * epochsift::NS_PER_SECOND +
        static_cast<epochsift::i128>(offset_micro) * 1000;
    out = epochsift::PosixNs{local->ns - offset_ns};
    return true;
}

bool parse_window(const char* function, PyObject* window, epochsift::InstantWindow& out) {
    if (!PyTuple_Check(window) && !PyList_Check(window)) {
        return fail_type(function, "window", "a (start, end) pair", window);
    }
    Ref items(PySequence_Tuple(window));
    if (!items) return false;
    if (PyTuple_Size(items.get()) != 2) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'window' must be a (start, end) pair, not %zd items", function,
                     PyTuple_Size(items.get()));
        return false;
    }
    if (!window_end_of(function, PyTuple_GetItem(items.get(), 0), out.start) ||
        !window_end_of(function, PyTuple_GetItem(items.get(), 1), out.end)) {
        return false;
    }
    if (!(out.start < out.end)) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'window': the start must lie before the end", function);
        return false;
    }
    return true;
}

bool parse_neighbours(const char* function, PyObject* neighbours, std::vector<int64_t>& out) {
    if (PyUnicode_Check(neighbours) || PyBytes_Check(neighbours)) {
        return fail_type(function, "neighbours", "an iterable of integers", neighbours);
    }
    Ref iterator(PyObject_GetIter(neighbours));
    if (!iterator) {
        PyErr_Clear();
        return fail_type(function, "neighbours", "an iterable of integers", neighbours);
    }
    while (PyObject* raw_item = PyIter_Next(iterator.get())) {
        Ref item(raw_item);
        int64_t value = 0;
        if (is_int_not_bool(item.get())) {
            if (!int64_of(function, "neighbours", item.get(), value)) return false;
        } else if (PyUnicode_Check(item.get())) {
            std::string text;
            if (!text_of(item.get(), text)) return false;
            auto const parsed = epochsift::parse_integer(epochsift::trim_white_space(text));
            if (!parsed) {
                PyErr_Format(PyExc_ValueError,
                             "%s() argument 'neighbours': %R is not a signed 64-bit integer", function, item.get());
                return false;
            }
            value = *parsed;
        } else {
            return fail_type(function, "neighbours", "an iterable of int or str items", item.get());
        }
        out.push_back(value);
    }
    return !PyErr_Occurred();
}

// Reads one keyword option into out; false with an exception set. None
// leaves an option absent.
bool parse_option(const char* function, OptionKey key, PyObject* item, CallOptions& out) {
    if (item == Py_None) return true;
    switch (key) {
        case OPT_EXTENDED:
            if (!PyBool_Check(item)) return fail_type(function, "extended", "a bool", item);
            out.read.extended = item == Py_True;
            return true;
        case OPT_HINT:
            if (!PyUnicode_Check(item)) return fail_type(function, "hint", "a str", item);
            out.has_hint = true;
            return text_of(item, out.hint);
        case OPT_BYTE_WIDTH: {
            if (!is_int_not_bool(item)) return fail_type(function, "byte_width", "an int", item);
            long const width = PyLong_AsLong(item);
            if (width == -1 && PyErr_Occurred()) PyErr_Clear();
            if (width < 1 || width > 16) {
                PyErr_Format(PyExc_ValueError, "%s() argument 'byte_width' must be 1 to 16, not %R", function, item);
                return false;
            }
            out.read.context.byte_width = static_cast<uint8_t>(width);
            return true;
        }
        case OPT_BYTE_ORDER: {
            if (!PyUnicode_Check(item)) return fail_type(function, "byte_order", "a str", item);
            if (PyUnicode_CompareWithASCIIString(item, "little") == 0) {
                out.read.context.byte_order = epochsift::ByteOrder::Little;
            } else if (PyUnicode_CompareWithASCIIString(item, "big") == 0) {
                out.read.context.byte_order = epochsift::ByteOrder::Big;
            } else {
                PyErr_Format(PyExc_ValueError, "%s() argument 'byte_order' must be 'little' or 'big', not %R",
                             function, item);
                return false;
            }
            return true;
        }
        case OPT_NEIGHBOURS: return parse_neighbours(function, item, out.neighbours);
        case OPT_WINDOW: {
            epochsift::InstantWindow window{};
            if (!parse_window(function, item, window)) return false;
            out.read.window = window;
            return true;
        }
    }
    return true;
}

// Binds the one positional-or-keyword parameter (named first_name) and the
// keyword-only options in `allowed`, with the interpreter's usual wording
// for each fault. Returns a borrowed reference to the first argument, or
// null with an exception set. Any option that is not given stays absent, so
// a call with the first argument alone is the reference reading.
PyObject* bind_arguments(const char* function, const char* first_name, unsigned allowed, PyObject* args,
                         PyObject* kwargs, CallOptions& options) {
    Py_ssize_t const positional = PyTuple_Size(args);
    if (positional < 0) return nullptr;
    if (positional > 1) {
        Py_ssize_t const keywords = kwargs ? PyDict_Size(kwargs) : 0;
        PyErr_Format(PyExc_TypeError, "%s() takes at most 1 argument (%zd given); its options are keyword-only",
                     function, positional + keywords);
        return nullptr;
    }
    PyObject* value = positional == 1 ? PyTuple_GetItem(args, 0) : nullptr;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &item)) {
            if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, first_name) == 0) {
                if (value != nullptr) {
                    PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (1)", function,
                                 first_name);
                    return nullptr;
                }
                value = item;
                continue;
            }
            OptionName const* known = nullptr;
            if (PyUnicode_Check(key)) {
                for (OptionName const& option : OPTION_NAMES) {
                    if ((allowed & option.key) != 0 && PyUnicode_CompareWithASCIIString(key, option.name) == 0) {
                        known = &option;
                    }
                }
            }
            if (known == nullptr) {
                Ref key_repr(PyObject_Repr(key));
                if (!key_repr) return nullptr;
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %U", function, key_repr.get());
                return nullptr;
            }
            if (!parse_option(function, known->key, item, options)) return nullptr;
        }
    }
    if (value == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos 1)", function, first_name);
        return nullptr;
    }
    // The views are taken once the owned texts stop changing.
    if (options.has_hint) options.read.context.artifact_hint = std::string_view(options.hint);
    options.read.context.neighbours = options.neighbours;
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

// The engine's JSON text for one argument, or null with an exception set.
PyObject* identify_json_text(const char* function, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* value = bind_arguments(function, "value", IDENTIFY_OPTIONS, args, kwargs, options);
    if (value == nullptr) return nullptr;
    Ref utf8(utf8_of(value));
    if (!utf8) return nullptr;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return nullptr;

    std::string json;
    try {
        json = epochsift::identify_json(std::string_view(data, static_cast<std::size_t>(size)), options.read);
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

// json.loads of the engine's text: the 128-bit instants become exact Python
// ints. The import goes through the interpreter's module cache on every
// call; only the two names are kept.
PyObject* loads_json(Ref text) {
    if (!text) return nullptr;
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
    return loads_json(Ref(identify_json_text("identify", args, kwargs)));
}

constexpr unsigned IDENTIFY_BYTES_OPTIONS = OPT_HINT | OPT_BYTE_ORDER | OPT_WINDOW;

// identify_bytes(data, *, byte_order=None, hint=None, window=None): bytes,
// bytearray or memoryview of 1 to 16 bytes.
PyObject* py_identify_bytes(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* const function = "identify_bytes";
    CallOptions options;
    PyObject* data = bind_arguments(function, "data", IDENTIFY_BYTES_OPTIONS, args, kwargs, options);
    if (data == nullptr) return nullptr;
    if (!PyBytes_Check(data) && !PyByteArray_Check(data) && !PyObject_TypeCheck(data, &PyMemoryView_Type)) {
        fail_type(function, "data", "bytes, bytearray or memoryview", data);
        return nullptr;
    }
    Ref copy(PyBytes_FromObject(data));  // a memoryview's bytes, whatever its format
    if (!copy) return nullptr;
    char* bytes = PyBytes_AsString(copy.get());
    Py_ssize_t const size = PyBytes_Size(copy.get());
    if (bytes == nullptr || size < 0) return nullptr;
    if (size < 1 || size > 16) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'data' must hold 1 to 16 bytes, not %zd", function, size);
        return nullptr;
    }
    std::optional<epochsift::ByteOrder> const order = options.read.context.byte_order;
    options.read.context.byte_order.reset();  // each reading states the order it assumed
    options.read.extended = true;
    std::string json;
    try {
        auto const* begin = reinterpret_cast<const uint8_t*>(bytes);
        json = epochsift::identify_bytes_json(std::span<const uint8_t>(begin, static_cast<std::size_t>(size)),
                                              options.read, order);
    } catch (const std::exception& fault) {
        if (PyObject* type = engine_fault_type()) PyErr_SetString(type, fault.what());
        return nullptr;
    } catch (...) {
        if (PyObject* type = engine_fault_type()) PyErr_SetString(type, "unknown engine fault");
        return nullptr;
    }
    return loads_json(Ref(PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()))));
}

// A keyword-taking function goes through void (*)(void) to fit PyCFunction.
template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef METHODS[] = {
    {"identify", as_cfunction(py_identify), METH_VARARGS | METH_KEYWORDS,
     "identify(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None)\n"
     "--\n"
     "\n"
     "Identify a timestamp value across every format family, returning the ranked\n"
     "readings as a list of dicts (`format_id`, `rendered`, `score`, `citation`,\n"
     "`assumptions`, `components`, ...). Empty list if nothing decodes.\n"
     "\n"
     "With the value alone this is the reference reading. Keyword-only options:\n"
     "extended (bool) ranks with the extended evidence; hint (str) names the\n"
     "artifact the value came from; byte_width (1 to 16) and byte_order ('little'\n"
     "or 'big') describe the stored field; neighbours (ints, or strs holding ints)\n"
     "are the same field's other values in stored order; window=(start, end), each\n"
     "an aware datetime, RFC 3339 text or integer nanoseconds, replaces every\n"
     "family's own window.\n"
     "\n"
     "Decoded via Python's `json` so the engine's `i128` instant becomes a native\n"
     "(arbitrary-precision) Python int rather than tripping a fixed-width limit."},
    {"identify_json", as_cfunction(py_identify_json), METH_VARARGS | METH_KEYWORDS,
     "identify_json(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None)\n"
     "--\n"
     "\n"
     "Identify a value, returning the ranked readings as a JSON string. Takes the\n"
     "options of identify."},
    {"identify_bytes", as_cfunction(py_identify_bytes), METH_VARARGS | METH_KEYWORDS,
     "identify_bytes(data, *, byte_order=None, hint=None, window=None)\n"
     "--\n"
     "\n"
     "Identify 1 to 16 raw bytes (bytes, bytearray or memoryview): as unsigned and\n"
     "signed integers in both byte orders (or only byte_order, 'little' or 'big')\n"
     "through every integer family, as binary64 when there are 8, and as the binary\n"
     "time records of their width. Each reading states the order and width it\n"
     "assumed. Returns ranked readings like identify(value, extended=True)."},
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
