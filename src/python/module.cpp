// The Python module `epochsift`: two functions over the engine, on the
// limited C API so that one build serves CPython 3.9 and later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/read_options.hpp"
#include "engine/column.hpp"
#include "output/column_json.hpp"
#include "engine/encode.hpp"
#include "engine/encode_zoned.hpp"
#include "engine/request.hpp"
#include "engine/instant_text.hpp"
#include "output/encoded_json.hpp"
#include "output/json_buffer.hpp"
#include "output/reading_json.hpp"
#include "python/batch_functions.hpp"
#include "python/call_options.hpp"
#include "python/guarded.hpp"
#include "python/hint_report.hpp"
#include "python/json_str.hpp"
#include "python/text_items.hpp"
#include "python/py_ref.hpp"
#include "python/reading_objects.hpp"
#include "python/scan_functions.hpp"
#include "python/value_text.hpp"

namespace {

using epochsift::python::bind_arguments;
using epochsift::python::bind_fast_arguments;
using epochsift::python::CallOptions;
using epochsift::python::EngineOutcome;
using epochsift::python::guarded;
using epochsift::python::raise_outcome;
using epochsift::python::fail_type;
using epochsift::python::IDENTIFY_OPTIONS;
using epochsift::OPT_BYTE_ORDER;
using epochsift::OPT_BYTE_WIDTH;
using epochsift::OPT_HINT;
using epochsift::OPT_WINDOW;
using epochsift::python::collect_text_items;
using epochsift::python::ItemErrors;
using epochsift::python::Ref;
using epochsift::python::TextItems;
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

// From this many bytes of text the engine runs with the GIL released: it
// then works for several microseconds or more, against a fraction of one to
// release and take back an uncontended GIL. Shorter texts keep the GIL.
constexpr Py_ssize_t RELEASE_GIL_FROM_BYTES = 8 * 1024;

// The engine's JSON text as a str, or null with the outcome's exception set.
PyObject* text_or_error(EngineOutcome outcome, const std::string& json) {
    if (outcome != EngineOutcome::Done) return raise_outcome(outcome);
    return epochsift::python::str_from_utf8(json);
}

// The value of a bound call, read under its options. False with an
// exception set.
bool identify_argument(PyObject* value, CallOptions& options, epochsift::Readings& out) {
    // A new bytes object that only this call holds: the engine can read it
    // while other threads run.
    Ref utf8(utf8_of(value));
    if (!utf8) return false;
    char* data = PyBytes_AsString(utf8.get());
    Py_ssize_t const size = PyBytes_Size(utf8.get());
    if (data == nullptr || size < 0) return false;
    epochsift::Request const request =
        epochsift::Request::of_text(std::string_view(data, static_cast<std::size_t>(size)), options.read);
    auto const work = [&] { out = epochsift::read(request); };
    EngineOutcome outcome;
    if (size >= RELEASE_GIL_FROM_BYTES) {
        PyThreadState* thread = PyEval_SaveThread();
        outcome = guarded(work);
        PyEval_RestoreThread(thread);
    } else {
        outcome = guarded(work);
    }
    if (outcome == EngineOutcome::Done) return true;
    raise_outcome(outcome);
    return false;
}

PyObject* identify_json_of(PyObject* value, CallOptions& options) {
    epochsift::Readings readings;
    if (!identify_argument(value, options, readings)) return nullptr;
    // Kept from call to call on the thread: a fresh buffer of tens of
    // kilobytes a call makes malloc grow and trim the heap top every time.
    thread_local epochsift::JsonBuffer json;
    json.clear();
    EngineOutcome const outcome = guarded([&] { epochsift::write_json_readings(json, readings); });
    PyObject* const text = outcome == EngineOutcome::Done ? epochsift::python::str_from_utf8(json.view()) : nullptr;
    json.clear_and_trim(epochsift::python::KEPT_SCRATCH_BYTES);
    if (outcome != EngineOutcome::Done) return raise_outcome(outcome);
    return text;
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

// The dicts of the readings, with their zone members when zones were named.
PyObject* readings_object(ModuleState& state, const epochsift::Readings& readings) {
    if (readings.zones.empty()) return state.boxer->readings(readings.ranked);
    epochsift::ZoneChoice const& zones = readings.zone_choice;
    return state.boxer->readings(readings.ranked, readings.zones,
                                 zones.display != nullptr ? zones.display->name() : std::string_view(),
                                 zones.local != nullptr ? zones.local->name() : std::string_view());
}

// The dicts json.loads would make of identify_json's text, built from the
// readings directly.
PyObject* identify_of(PyObject* module, PyObject* value, CallOptions& options) {
    ModuleState* state = state_of(module);
    if (state == nullptr) return nullptr;
    epochsift::Readings readings;
    if (!identify_argument(value, options, readings)) return nullptr;
    return readings_object(*state, readings);
}

// identify and identify_json in both calling conventions: a tuple and a dict
// (CPython 3.9), or the vectorcall array (3.10 and later, where the
// convention is part of the stable ABI), which builds neither per call.
PyObject* py_identify(PyObject* module, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* value = bind_arguments("identify", "value", IDENTIFY_OPTIONS, args, kwargs, options);
    return value == nullptr ? nullptr : identify_of(module, value, options);
}

PyObject* py_identify_fast(PyObject* module, PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names) {
    CallOptions options;
    PyObject* value =
        bind_fast_arguments("identify", "value", IDENTIFY_OPTIONS, args, positional, keyword_names, options);
    return value == nullptr ? nullptr : identify_of(module, value, options);
}

PyObject* py_identify_json(PyObject*, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* value = bind_arguments("identify_json", "value", IDENTIFY_OPTIONS, args, kwargs, options);
    return value == nullptr ? nullptr : identify_json_of(value, options);
}

PyObject* py_identify_json_fast(PyObject*, PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names) {
    CallOptions options;
    PyObject* value =
        bind_fast_arguments("identify_json", "value", IDENTIFY_OPTIONS, args, positional, keyword_names, options);
    return value == nullptr ? nullptr : identify_json_of(value, options);
}

bool collect_texts(const char* function, PyObject* values, TextItems& texts) {
    if (PyUnicode_Check(values) || PyBytes_Check(values)) {
        return fail_type(function, "values", "an iterable of str, not a single text", values);
    }
    return collect_text_items(function, values, ItemErrors::AsValue, texts);
}

constexpr unsigned COLUMN_OPTIONS = OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_WINDOW;

PyObject* py_identify_column(PyObject* module, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* values = bind_arguments("identify_column", "values", COLUMN_OPTIONS, args, kwargs, options);
    if (values == nullptr) return nullptr;
    TextItems texts;
    if (!collect_texts("identify_column", values, texts)) return nullptr;
    std::string json;
    PyThreadState* thread = PyEval_SaveThread();
    EngineOutcome const outcome = guarded([&] { json = epochsift::identify_column_json(texts.views, options.read); });
    PyEval_RestoreThread(thread);
    return loads_json(module, text_or_error(outcome, json));
}

// A Python int as a 128-bit count; false with an exception set.
bool i128_of(PyObject* object, epochsift::i128& out) {
    if (!PyLong_Check(object) || PyBool_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "a column tally's instants are ints");
        return false;
    }
    Ref text(PyObject_Str(object));
    if (!text) return false;
    Ref utf8(PyUnicode_AsUTF8String(text.get()));
    if (!utf8) return false;
    const char* digits = PyBytes_AsString(utf8.get());
    if (digits == nullptr) return false;
    bool const negative = *digits == '-';
    epochsift::i128 value = 0;
    for (const char* p = digits + negative; *p != '\0'; ++p) {
        if (value > (std::numeric_limits<epochsift::i128>::max() - 9) / 10) {
            PyErr_SetString(PyExc_ValueError, "a column tally's instant is out of range");
            return false;
        }
        value = value * 10 + (*p - '0');
    }
    out = negative ? -value : value;
    return true;
}

constexpr Py_ssize_t TALLY_FIELDS = 13;

// One tally as the list column_tallies_json writes: values, log_likelihood,
// read, in_window, pairs, ordered_pairs, first, last, starts_read, ends_read,
// marked, earliest, latest.
bool tally_of(PyObject* item, epochsift::ColumnTally& out) {
    Ref fields(PySequence_Tuple(item));
    if (!fields) return false;
    if (PyTuple_Size(fields.get()) != TALLY_FIELDS) {
        PyErr_SetString(PyExc_ValueError, "a column tally has 13 fields");
        return false;
    }
    PyObject* f[TALLY_FIELDS];
    for (Py_ssize_t i = 0; i < TALLY_FIELDS; ++i) f[i] = PyTuple_GetItem(fields.get(), i);
    uint64_t* counts[] = {&out.values, nullptr, &out.read, &out.in_window, &out.pairs, &out.ordered_pairs};
    for (int i : {0, 2, 3, 4, 5}) {
        unsigned long long const n = PyLong_AsUnsignedLongLong(f[i]);
        if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
        *counts[i] = n;
    }
    out.log_likelihood = PyFloat_AsDouble(f[1]);
    if (out.log_likelihood == -1.0 && PyErr_Occurred()) return false;
    if (!i128_of(f[6], out.first.ns) || !i128_of(f[7], out.last.ns)) return false;
    if (!i128_of(f[11], out.earliest.ns) || !i128_of(f[12], out.latest.ns)) return false;
    int const starts = PyObject_IsTrue(f[8]), ends = PyObject_IsTrue(f[9]);
    if (starts < 0 || ends < 0) return false;
    out.starts_read = starts == 1;
    out.ends_read = ends == 1;
    unsigned long long const marked = PyLong_AsUnsignedLongLong(f[10]);
    if (marked == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out.marked = marked;
    return true;
}

// _column_tallies(values, *, hint=None, byte_width=None, byte_order=None,
// window=None): the mergeable state identify_column keeps of the values, one
// list per family or form in table order.
PyObject* py_column_tallies(PyObject* module, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* values = bind_arguments("_column_tallies", "values", COLUMN_OPTIONS, args, kwargs, options);
    if (values == nullptr) return nullptr;
    TextItems texts;
    if (!collect_texts("_column_tallies", values, texts)) return nullptr;
    std::string json;
    PyThreadState* thread = PyEval_SaveThread();
    EngineOutcome const outcome = guarded([&] {
        auto const tallies = epochsift::column_tallies(texts.views, options.read);
        json = epochsift::column_tallies_json(tallies);
    });
    PyEval_RestoreThread(thread);
    return loads_json(module, text_or_error(outcome, json));
}

// _column_verdicts(runs, *, hint=None, byte_width=None, byte_order=None,
// window=None): runs (each _column_tallies' answer, in column order) merged,
// then judged as identify_column judges one run.
PyObject* py_column_verdicts(PyObject* module, PyObject* args, PyObject* kwargs) {
    CallOptions options;
    PyObject* runs = bind_arguments("_column_verdicts", "runs", COLUMN_OPTIONS, args, kwargs, options);
    if (runs == nullptr) return nullptr;
    std::vector<epochsift::ColumnTally> merged(epochsift::column_tally_count());
    Ref iterator(PyObject_GetIter(runs));
    if (!iterator) return nullptr;
    while (PyObject* raw_run = PyIter_Next(iterator.get())) {
        Ref run(PySequence_Tuple(raw_run));
        Py_DECREF(raw_run);
        if (!run) return nullptr;
        if (PyTuple_Size(run.get()) != static_cast<Py_ssize_t>(merged.size())) {
            PyErr_Format(PyExc_ValueError, "a run holds %zd tallies, not %zd", static_cast<Py_ssize_t>(merged.size()),
                         PyTuple_Size(run.get()));
            return nullptr;
        }
        for (std::size_t row = 0; row < merged.size(); ++row) {
            epochsift::ColumnTally tally;
            if (!tally_of(PyTuple_GetItem(run.get(), static_cast<Py_ssize_t>(row)), tally)) return nullptr;
            epochsift::merge_column_tally(merged[row], tally);
        }
    }
    if (PyErr_Occurred()) return nullptr;
    std::string json;
    EngineOutcome const outcome = guarded([&] {
        epochsift::append_json_verdicts(json, epochsift::column_verdicts(merged, options.read));
    });
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
    ModuleState* state = state_of(module);
    if (state == nullptr) return nullptr;
    auto const* begin = reinterpret_cast<const uint8_t*>(bytes);
    // byte_order, when given, is the order the bytes are in; else each reading states the order it assumed.
    epochsift::Request request =
        epochsift::Request::of_bytes(std::span<const uint8_t>(begin, static_cast<std::size_t>(size)), options.read);
    request.read.extended = true;
    epochsift::Readings readings;
    EngineOutcome const outcome = guarded([&] { readings = epochsift::read(request); });
    if (outcome != EngineOutcome::Done) return raise_outcome(outcome);
    // The dicts built directly, as identify's are: a JSON text and json.loads
    // of it cost many times the engine's own work.
    return readings_object(*state, readings);
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

// encode's list for an instant, the wall-clock families in wall_zone's wall
// clock when one is given.
PyObject* encode_instant(PyObject* module, epochsift::PosixNs instant, const std::vector<std::string>& ids,
                         const epochsift::TimeZone* wall_zone) {
    std::string json;
    bool has_wall_clock = true;
    EngineOutcome const outcome = guarded([&] {
        std::vector<std::string_view> const wanted(ids.begin(), ids.end());
        if (wall_zone == nullptr) {
            json = epochsift::encoded_json(epochsift::encode(instant, wanted), instant);
            return;
        }
        auto const zoned = epochsift::encode_in_zone(instant, *wall_zone, wanted);
        if (!zoned) {
            has_wall_clock = false;
            return;
        }
        std::string const zone_text = std::string(wall_zone->name()) + " (" +
                                      epochsift::offset_text(zoned->wall.offset_seconds) + " " +
                                      zoned->wall.abbreviation + ")";
        json = epochsift::encoded_json(zoned->encoded, instant, zone_text);
    });
    if (outcome != EngineOutcome::Done) return raise_outcome(outcome);
    if (!has_wall_clock) {
        PyErr_SetString(PyExc_ValueError, "encode(): the instant has no wall clock in the zone");
        return nullptr;
    }
    return loads_json(module, PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size())));
}

// A naive datetime or RFC 3339 text without an offset, read as local_zone's
// wall clock: the instant (the earlier of a repeated time, the offset before
// a skipped one), or nothing with no exception set when when is neither.
std::optional<epochsift::PosixNs> local_when(PyObject* when, const epochsift::TimeZone& zone) {
    Ref text;
    if (PyUnicode_Check(when)) {
        text = Ref(PyUnicode_FromFormat("%UZ", when));
    } else if (PyObject_HasAttrString(when, "utcoffset") && PyObject_HasAttrString(when, "isoformat")) {
        Ref offset(PyObject_CallMethod(when, "utcoffset", nullptr));
        if (offset && offset.get() == Py_None) {
            Ref iso(PyObject_CallMethod(when, "isoformat", nullptr));
            if (iso) text = Ref(PyUnicode_FromFormat("%UZ", iso.get()));
        }
    }
    PyErr_Clear();
    if (!text) return std::nullopt;
    Ref utf8(PyUnicode_AsUTF8String(text.get()));
    char* data = utf8 ? PyBytes_AsString(utf8.get()) : nullptr;
    Py_ssize_t const size = utf8 ? PyBytes_Size(utf8.get()) : -1;
    PyErr_Clear();
    if (data == nullptr || size < 0) return std::nullopt;
    auto const wall = epochsift::parse_instant(std::string_view(data, static_cast<std::size_t>(size)));
    if (!wall) return std::nullopt;
    auto const found = zone.instants_of(*wall);
    if (!found) return std::nullopt;
    return found->first_instant;
}

PyObject* py_encode(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"when", "families", "tz", "local_zone", nullptr};
    PyObject* when = nullptr;
    PyObject* families = nullptr;
    PyObject* tz = nullptr;
    PyObject* local_zone = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OOO:encode", const_cast<char**>(keywords), &when, &families,
                                     &tz, &local_zone)) {
        return nullptr;
    }
    std::vector<std::string> ids;
    if (!family_ids(families, ids)) return nullptr;
    std::optional<epochsift::TimeZone> display, local;
    if (!epochsift::python::bind_zone("encode", "tz", tz, display)) return nullptr;
    if (!epochsift::python::bind_zone("encode", "local_zone", local_zone, local)) return nullptr;
    // The wall-clock families are written in tz's wall clock, else local_zone's.
    const epochsift::TimeZone* wall_zone = display ? &*display : local ? &*local : nullptr;
    if (local) {
        if (auto const instant = local_when(when, *local)) return encode_instant(module, *instant, ids, wall_zone);
    }
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
    return encode_instant(module, *instant, ids, wall_zone);
}

// A keyword-taking function goes through void (*)(void) to fit PyCFunction.
template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

constexpr const char* IDENTIFY_DOC =
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
     "instants) and notes it under 'local_zone'. Any options combine: the readings\n"
     "are ranked under the others, then seen through the zones. An unknown zone\n"
     "or a bad window raises ValueError, an option of the wrong type TypeError.\n"
     "\n"
     "Decoded via Python's `json` so the engine's `i128` instant becomes a native\n"
     "(arbitrary-precision) Python int rather than tripping a fixed-width limit.";

constexpr const char* IDENTIFY_JSON_DOC =
     "identify_json(value, *, extended=False, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "Identify a value, returning the ranked readings as a JSON string. Takes the\n"
     "options of identify.";

// METH_FASTCALL, part of the stable ABI from CPython 3.10; a module built for
// 3.9's ABI uses it only on an interpreter that has it.
constexpr int FASTCALL_KEYWORDS = 0x0080 | METH_KEYWORDS;

// The per-value functions, called far more often than the others: in the
// vectorcall convention where the interpreter has it.
PyMethodDef IDENTIFY_METHODS[] = {
    {"identify", as_cfunction(py_identify), METH_VARARGS | METH_KEYWORDS, IDENTIFY_DOC},
    {"identify_json", as_cfunction(py_identify_json), METH_VARARGS | METH_KEYWORDS, IDENTIFY_JSON_DOC},
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef IDENTIFY_FAST_METHODS[] = {
    {"identify", as_cfunction(py_identify_fast), FASTCALL_KEYWORDS, IDENTIFY_DOC},
    {"identify_json", as_cfunction(py_identify_json_fast), FASTCALL_KEYWORDS, IDENTIFY_JSON_DOC},
    {nullptr, nullptr, 0, nullptr},
};

// Whether the running interpreter is CPython 3.10 or later, from its version
// text ("3.11.7 (main, ...").
bool interpreter_has_vectorcall_abi() {
    const char* version = Py_GetVersion();
    int major = 0;
    int minor = 0;
    for (; *version >= '0' && *version <= '9'; ++version) major = major * 10 + (*version - '0');
    if (*version++ != '.') return false;
    for (; *version >= '0' && *version <= '9'; ++version) minor = minor * 10 + (*version - '0');
    return major > 3 || (major == 3 && minor >= 10);
}

PyMethodDef METHODS[] = {
    {"identify_column", as_cfunction(py_identify_column), METH_VARARGS | METH_KEYWORDS,
     "identify_column(values, *, hint=None, byte_width=None, byte_order=None, window=None)\n"
     "--\n"
     "\n"
     "Judge many values of one field together: which format reads the column.\n"
     "Returns verdicts best first, as dicts with format_id, label, score (the\n"
     "verdict's share of the evidence), read (values the format decodes),\n"
     "in_window (of those, inside the window), ordered (share of neighbouring\n"
     "pairs whose instants do not fall), first and last (instants of the first\n"
     "and last value read, integer nanoseconds), earliest and latest (the least\n"
     "and greatest instant read). A format whose structure is\n"
     "specific gains on every value it reads. Hex bytes are read in both orders\n"
     "(or only byte_order), and such a verdict names its order under byte_order.\n"
     "Options as for identify."},
    {"_column_tallies", as_cfunction(py_column_tallies), METH_VARARGS | METH_KEYWORDS,
     "_column_tallies(values, *, hint=None, byte_width=None, byte_order=None, window=None)\n"
     "--\n"
     "\n"
     "Internal: what identify_column keeps of a run of values, one list per\n"
     "family or form in table order, mergeable with the tallies of later runs."},
    {"_column_verdicts", as_cfunction(py_column_verdicts), METH_VARARGS | METH_KEYWORDS,
     "_column_verdicts(runs, *, hint=None, byte_width=None, byte_order=None, window=None)\n"
     "--\n"
     "\n"
     "Internal: identify_column's verdicts over runs (each _column_tallies' answer,\n"
     "in column order). For one run equal to identify_column of its values."},
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
     "encode(when, *, families=None, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "The value each family would hold for an instant (integer ns since 1970 UTC,\n"
     "an aware datetime or RFC 3339 text): format_id, label, value, instant,\n"
     "rendered, hex_be, hex_le (None where the bytes have no byte order: BCD\n"
     "digits, semi-octets), exact and assumptions. With local_zone, `when` may\n"
     "also be a naive datetime or RFC 3339 text without offset, read as that\n"
     "zone's wall clock (a repeated time: the earlier instant; a skipped one:\n"
     "the offset before it). The families that store a wall clock are written\n"
     "in tz's wall clock (else local_zone's, else UTC's), as their assumptions\n"
     "say."},
    {"identify_many", as_cfunction(epochsift::python::identify_many), METH_VARARGS | METH_KEYWORDS,
     "identify_many(values, *, threads=None, best=None, extended=True, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "identify(value, extended=True) of every str or integer (read as its decimal\n"
     "text) in the iterable `values`, as one list of readings per value in input\n"
     "order; with `best=K` only each value's first K readings; extended=False\n"
     "gives the reference reading. The engine runs without the GIL on `threads`\n"
     "threads (default: the cores this process may use). identify's keyword\n"
     "options apply to every value, so each list equals identify(value,\n"
     "extended=True, **options). A bad item raises identify's error, naming its\n"
     "index."},
    {"identify_arrow", as_cfunction(epochsift::python::identify_arrow), METH_VARARGS | METH_KEYWORDS,
     "identify_arrow(column, *, best=1, keep_empty=False, by_column=False, threads=None, extended=True, hint=None, byte_width=None, byte_order=None, neighbours=None, window=None, tz=None, local_zone=None)\n"
     "--\n"
     "\n"
     "Read an Arrow string column (any object with __arrow_c_stream__ or\n"
     "__arrow_c_array__ holding utf8, large_utf8 or string_view values) in place.\n"
     "Returns an Arrow struct column, one row per kept reading: row (int64, the\n"
     "input row), rank (int32, from 1), format_id, label, instant\n"
     "(timestamp[ns, UTC]; null outside int64), rendered and score. Null inputs\n"
     "and values without readings give no rows, or with keep_empty=True one row\n"
     "each with every reading field null; best=None keeps every reading. Integer\n"
     "columns are read as decimal text. identify's keyword options apply to\n"
     "every value and the rows are the readings identify(value, extended=True,\n"
     "**options) gives, in its order (extended=False: the reference reading). local_zone places\n"
     "the wall-clock readings (a fold gives two rows); tz is accepted but adds no\n"
     "column: the instant column is UTC, and a consumer shows it in any zone.\n"
     "by_column=True finds the column's format (identify_column over the column,\n"
     "or over values spread evenly through it when long) and gives each value that\n"
     "format's reading alone, the one the full reading lists for it; a value the\n"
     "format does not read gets the full reading's first `best`. A last field,\n"
     "path, says which: \"verdict\" or \"full\". by_column=\"ID\" names the format."},
    {"hint_words", as_cfunction(epochsift::python::hint_words), METH_VARARGS | METH_KEYWORDS,
     epochsift::python::HINT_WORDS_DOC},
    {"scan", as_cfunction(epochsift::python::scan), METH_VARARGS | METH_KEYWORDS, epochsift::python::SCAN_DOC},
    {"scan_arrow", as_cfunction(epochsift::python::scan_arrow), METH_VARARGS | METH_KEYWORDS,
     epochsift::python::SCAN_ARROW_DOC},
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

    PyMethodDef* const identify_methods = interpreter_has_vectorcall_abi() ? IDENTIFY_FAST_METHODS : IDENTIFY_METHODS;
    if (PyModule_AddFunctions(module, identify_methods) != 0) return -1;
    if (epochsift::python::add_arrow_types(module) != 0) return -1;
    if (epochsift::python::add_scan_types(module) != 0) return -1;
    if (set_submodule_path(module) != 0) return -1;
    if (PyModule_AddStringConstant(module, "__version__", EPOCHSIFT_VERSION) != 0) return -1;

    Ref all(PyList_New(0));
    if (!all) return -1;
    for (PyMethodDef const* table : {identify_methods, METHODS}) {
        for (PyMethodDef const* def = table; def->ml_name != nullptr; ++def) {
            if (def->ml_name[0] == '_') continue;  // internal helpers of epochsift.spark
            Ref name(PyUnicode_FromString(def->ml_name));
            if (!name || PyList_Append(all.get(), name.get()) != 0) return -1;
        }
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
