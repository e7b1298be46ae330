// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/civil.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/read_options.hpp"
#include "formats/iso8601.hpp"
#include "output/column_json.hpp"
#include "engine/encode.hpp"
#include "engine/identify.hpp"
#include "engine/instant_text.hpp"
#include "engine/zoned_readings.hpp"
#include "output/encoded_json.hpp"
#include "output/json_buffer.hpp"
#include "output/reading_json.hpp"
#include "output/zoned_json.hpp"
#include "python/batch_functions.hpp"
#include "python/json_str.hpp"
#include "python/py_ref.hpp"
#include "python/reading_objects.hpp"
#include "python/value_text.hpp"

namespace {

using epochsift::python::Ref;
using epochsift::python::type_name_of;
using epochsift::python::utf8_of;

// Each module object's own state (multi-phase initialisation): nothing is
// kept in process globals, so a module made after Py_Finalize and
// Py_Initialize starts afresh.
struct ModuleState {
    PyObject* json_name;   // interned "json" and "loads": made once, not per call
    PyObject* loads_name;
    epochsift::python::ReadingBoxer* boxer;  // identify's dicts, built without a JSON text
};

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

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
    epochsift::CivilTime const civil{.year = static_cast<int32_t>(year),
                                     .month = static_cast<int32_t>(month),
                                     .day = static_cast<int32_t>(day),
                                     .hour = static_cast<int32_t>(hour),
                                     .minute = static_cast<int32_t>(minute),
                                     .second = static_cast<int32_t>(second),
                                     .nanosecond = static_cast<int32_t>(micro * 1000)};
    auto const local = epochsift::civil_to_posix(civil);
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
template <class Work>
EngineOutcome run_engine(Work&& work) noexcept {
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

// Null with the exception of an outcome other than Done.
PyObject* engine_error(EngineOutcome outcome) {
    if (outcome == EngineOutcome::OutOfMemory) return PyErr_NoMemory();
    PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    return nullptr;
}

// The engine's JSON text as a str, or null with the outcome's exception set.
PyObject* text_or_error(EngineOutcome outcome, const std::string& json) {
    if (outcome != EngineOutcome::Done) return engine_error(outcome);
    return epochsift::python::str_from_utf8(json);
}

// True when a keyword other than `value` was passed: the zoned path.
bool has_zone_keywords(PyObject* kwargs) {
    if (kwargs == nullptr) return false;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &item)) {
        if (!PyUnicode_Check(key)) return false;  // bind_value reports it
        for (const char* name : {"tz", "local_zone"}) {
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
    EngineOutcome const outcome = run_engine([&] {
        auto const readings =
            epochsift::identify_zoned(std::string_view(data, static_cast<std::size_t>(size)), options);
        json = epochsift::zoned_json(readings, display ? display->name() : std::string_view(),
                                     local ? local->name() : std::string_view());
    });
    return text_or_error(outcome, json);
}

// The readings of one argument, read with the GIL released for long texts;
// false with an exception set.
bool readings_of(const char* function, PyObject* args, PyObject* kwargs, std::vector<epochsift::Candidate>& readings) {
    CallOptions options;
    PyObject* value = bind_arguments(function, "value", IDENTIFY_OPTIONS, args, kwargs, options);
    if (value == nullptr) return false;
    // A new bytes object that only this call holds: the engine can read it
    // while other threads run.
    Ref utf8(utf8_of(value));
    if (!utf8) return false;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return false;
    std::string_view const text(data, static_cast<std::size_t>(size));

    auto const work = [&] { readings = epochsift::identify(text, options.read); };
    EngineOutcome outcome;
    if (size >= RELEASE_GIL_FROM_BYTES) {
        PyThreadState* thread = PyEval_SaveThread();
        outcome = run_engine(work);
        PyEval_RestoreThread(thread);
    } else {
        outcome = run_engine(work);
    }
    if (outcome == EngineOutcome::Done) return true;
    engine_error(outcome);
    return false;
}

PyObject* py_identify_json(PyObject*, PyObject* args, PyObject* kwargs) {
    if (has_zone_keywords(kwargs)) return zoned_json_text("identify_json", args, kwargs);
    std::vector<epochsift::Candidate> readings;
    if (!readings_of("identify_json", args, kwargs, readings)) return nullptr;
    epochsift::JsonBuffer json;
    EngineOutcome const outcome = run_engine([&] { epochsift::write_json_candidates(json, readings); });
    if (outcome != EngineOutcome::Done) return engine_error(outcome);
    return epochsift::python::str_from_utf8(json.view());
}

// json.loads(text), stealing text; null with an exception set.
PyObject* loads_json(PyObject* module, PyObject* text_object) {
    Ref text(text_object);
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

// The dicts json.loads would make of identify_json's text, built from the
// readings directly (the zoned form still goes through its text).
PyObject* py_identify(PyObject* module, PyObject* args, PyObject* kwargs) {
    if (has_zone_keywords(kwargs)) return loads_json(module, zoned_json_text("identify", args, kwargs));
    ModuleState* state = state_of(module);
    if (state == nullptr) return nullptr;
    std::vector<epochsift::Candidate> readings;
    if (!readings_of("identify", args, kwargs, readings)) return nullptr;
    return state->boxer->readings(readings);
}

constexpr unsigned COLUMN_OPTIONS = OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_WINDOW;

PyObject* py_identify_column(PyObject* module, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* values = bind_arguments("identify_column", "values", COLUMN_OPTIONS, args, kwargs, options);
    if (values == nullptr) return nullptr;
    if (PyUnicode_Check(values) || PyBytes_Check(values)) {
        fail_type("identify_column", "values", "an iterable of str, not a single text", values);
        return nullptr;
    }
    Ref iterator(PyObject_GetIter(values));
    if (!iterator) return nullptr;
    // All texts in one buffer; the views are taken once it stops growing.
    std::string buffer;
    std::vector<std::size_t> ends;
    while (PyObject* raw_item = PyIter_Next(iterator.get())) {
        Ref item(raw_item);
        Ref utf8(utf8_of(item.get()));
        if (!utf8) return nullptr;
        char* data = PyBytes_AsString(utf8.get());
        Py_ssize_t const size = PyBytes_Size(utf8.get());
        if (data == nullptr || size < 0) return nullptr;
        buffer.append(data, static_cast<std::size_t>(size));
        ends.push_back(buffer.size());
    }
    if (PyErr_Occurred()) return nullptr;
    std::vector<std::string_view> views;
    views.reserve(ends.size());
    std::size_t start = 0;
    for (std::size_t end : ends) {
        views.emplace_back(buffer.data() + start, end - start);
        start = end;
    }
    std::string json;
    PyThreadState* thread = PyEval_SaveThread();
    EngineOutcome const outcome = run_engine([&] { json = epochsift::identify_column_json(views, options.read); });
    PyEval_RestoreThread(thread);
    return loads_json(module, text_or_error(outcome, json));
}

constexpr unsigned IDENTIFY_BYTES_OPTIONS = OPT_HINT | OPT_BYTE_ORDER | OPT_WINDOW;

// identify_bytes(data, *, byte_order=None, hint=None, window=None): bytes,
// bytearray or memoryview of 1 to 16 bytes.
PyObject* py_identify_bytes(PyObject* module, PyObject* args, PyObject* kwargs) {
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
    auto const* begin = reinterpret_cast<const uint8_t*>(bytes);
    std::span<const uint8_t> const view(begin, static_cast<std::size_t>(size));
    EngineOutcome const outcome =
        run_engine([&] { json = epochsift::identify_bytes_json(view, options.read, order); });
    return loads_json(module, text_or_error(outcome, json));
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

PyObject* py_encode(PyObject* module, PyObject* args, PyObject* kwargs) {
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
    return loads_json(module, PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size())));
}

// A keyword-taking function goes through void (*)(void) to fit PyCFunction.
template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef METHODS[] = {
    {"identify", as_cfunction(py_identify), METH_VARARGS | METH_KEYWORDS,
     "identify(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)\n"
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
     "family's own window; tz (an IANA zone or a fixed offset such as '+05:30')\n"
     "adds each reading's wall clock in that zone under 'local'; local_zone reads\n"
     "the wall-clock families as that zone's local time (a fold gives both\n"
     "instants). tz and local_zone take only `extended` beside them.\n"
     "\n"
     "Decoded via Python's `json` so the engine's `i128` instant becomes a native\n"
     "(arbitrary-precision) Python int rather than tripping a fixed-width limit."},
    {"identify_json", as_cfunction(py_identify_json), METH_VARARGS | METH_KEYWORDS,
     "identify_json(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "Identify a value, returning the ranked readings as a JSON string. Takes the\n"
     "options of identify."},
    {"identify_column", as_cfunction(py_identify_column), METH_VARARGS | METH_KEYWORDS,
     "identify_column(values, *, hint=None, byte_width=None, byte_order=None, window=None)\n"
     "--\n"
     "\n"
     "Judge many values of one field together: which format reads the column.\n"
     "Returns verdicts best first, as dicts with format_id, label, score (the\n"
     "verdict's share of the evidence), read (values the format decodes),\n"
     "in_window (of those, inside the window), ordered (share of neighbouring\n"
     "pairs whose instants do not fall), first and last (instants of the first\n"
     "and last value read, integer nanoseconds). A format whose structure is\n"
     "specific gains on every value it reads. Options as for identify."},
    {"identify_bytes", as_cfunction(py_identify_bytes), METH_VARARGS | METH_KEYWORDS,
     "identify_bytes(data, *, byte_order=None, hint=None, window=None)\n"
     "--\n"
     "\n"
     "Identify 1 to 16 raw bytes (bytes, bytearray or memoryview): as unsigned and\n"
     "signed integers in both byte orders (or only byte_order, 'little' or 'big')\n"
     "through every integer family, as binary64 when there are 8, and as the binary\n"
     "time records of their width. Each reading states the order and width it\n"
     "assumed. Returns ranked readings like identify(value, extended=True)."},
    {"encode", as_cfunction(py_encode), METH_VARARGS | METH_KEYWORDS,
     "encode(when, *, families=None)\n"
     "--\n"
     "\n"
     "The value each family would hold for an instant (integer ns since 1970 UTC,\n"
     "an aware datetime or RFC 3339 text): format_id, label, value, instant,\n"
     "rendered, hex_be, hex_le, exact and assumptions."},
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
    if ((state->boxer = epochsift::python::ReadingBoxer::create()) == nullptr) return -1;

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
        delete state->boxer;  // drops its shared objects
        state->boxer = nullptr;
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
