#include "python/call_options.hpp"

#include <iterator>
#include <string_view>

#include "core/civil.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "formats/iso8601.hpp"
#include "python/value_text.hpp"

namespace epochsift::python {

bool fail_type(const char* function, const char* option, const char* expected, PyObject* got) {
    Ref name(type_name_of(got));
    if (!name) return false;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not '%U'", function, option, expected, name.get());
    return false;
}

namespace {

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
bool window_end_of(const char* function, PyObject* end, PosixNs& out) {
    if (is_int_not_bool(end)) {
        int64_t ns = 0;
        if (!int64_of(function, "window", end, ns)) return false;
        out = PosixNs{ns};
        return true;
    }
    if (PyUnicode_Check(end)) {
        std::string text;
        if (!text_of(end, text)) return false;
        auto const instant = parse_iso8601(trim_white_space(text));
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
    CivilTime const civil{.year = static_cast<int32_t>(year),
                                     .month = static_cast<int32_t>(month),
                                     .day = static_cast<int32_t>(day),
                                     .hour = static_cast<int32_t>(hour),
                                     .minute = static_cast<int32_t>(minute),
                                     .second = static_cast<int32_t>(second),
                                     .nanosecond = static_cast<int32_t>(micro * 1000)};
    auto const local = civil_to_posix(civil);
    if (!local) {
        PyErr_Format(PyExc_ValueError, "%s() argument 'window': %R is outside the calendar range", function, end);
        return false;
    }
    i128 const offset_ns =
        (static_cast<i128>(offset_days) * 86'400 + offset_seconds) * NS_PER_SECOND +
        static_cast<i128>(offset_micro) * 1000;
    out = PosixNs{local->ns - offset_ns};
    return true;
}

bool parse_window(const char* function, PyObject* window, InstantWindow& out) {
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
            auto const parsed = parse_integer(trim_white_space(text));
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

// A zone keyword's zone (a str); false with TypeError or ValueError set.
// A name the system's tz database lacks is looked up in the tzdata
// package, where installed.
bool zone_argument(const char* function, const char* option, PyObject* item, std::optional<TimeZone>& zone) {
    if (!PyUnicode_Check(item)) return fail_type(function, option, "a str", item);
    std::string name;
    if (!text_of(item, name)) return false;
    zone = TimeZone::find(name);
    if (!zone && !TimeZone::is_fixed_offset(name)) {
        if (auto const directory = tzdata_directory()) zone = TimeZone::find(name, *directory);
    }
    if (zone) return true;
    PyErr_Format(PyExc_ValueError,
                 "%s() argument '%s': unknown time zone %R (an IANA name such as 'Europe/Berlin', or an offset "
                 "such as '+05:30')",
                 function, option, item);
    return false;
}

std::nullopt_t type_fault(const char* function, const char* option, const char* expected, PyObject* got) {
    fail_type(function, option, expected, got);
    return std::nullopt;
}

// Reads the value of one keyword option, of its row's kind; nothing with
// an exception set.
std::optional<OptionValue> option_value(const char* function, const OptionRow& row, PyObject* item) {
    const char* option = row.name.data();  // the table's names are string literals
    switch (row.kind) {
        case OptionKind::Flag:
            if (!PyBool_Check(item)) return type_fault(function, option, "a bool", item);
            return OptionValue(item == Py_True);
        case OptionKind::Text: {
            if (!PyUnicode_Check(item)) return type_fault(function, option, "a str", item);
            std::string text;
            if (!text_of(item, text)) return std::nullopt;
            return OptionValue(std::move(text));
        }
        case OptionKind::ByteWidth: {
            if (!is_int_not_bool(item)) return type_fault(function, option, "an int", item);
            long const width = PyLong_AsLong(item);
            if (width == -1 && PyErr_Occurred()) PyErr_Clear();
            if (width < 1 || width > 16) {
                PyErr_Format(PyExc_ValueError, "%s() argument '%s' must be 1 to 16, not %R", function, option, item);
                return std::nullopt;
            }
            return OptionValue(static_cast<uint8_t>(width));
        }
        case OptionKind::ByteOrder:
            if (!PyUnicode_Check(item)) return type_fault(function, option, "a str", item);
            if (PyUnicode_CompareWithASCIIString(item, "little") == 0) return OptionValue(ByteOrder::Little);
            if (PyUnicode_CompareWithASCIIString(item, "big") == 0) return OptionValue(ByteOrder::Big);
            PyErr_Format(PyExc_ValueError, "%s() argument '%s' must be 'little' or 'big', not %R", function, option,
                         item);
            return std::nullopt;
        case OptionKind::Integers: {
            std::vector<int64_t> numbers;
            if (!parse_neighbours(function, item, numbers)) return std::nullopt;
            return OptionValue(std::move(numbers));
        }
        case OptionKind::Window: {
            InstantWindow window{};
            if (!parse_window(function, item, window)) return std::nullopt;
            return OptionValue(window);
        }
        case OptionKind::Zone: {
            std::optional<TimeZone> zone;
            if (!zone_argument(function, option, item, zone)) return std::nullopt;
            return OptionValue(std::move(*zone));
        }
        case OptionKind::Count:
        case OptionKind::FamilyIds: break;  // no identify keyword of these kinds
    }
    PyErr_Format(PyExc_TypeError, "%s() does not take '%s' as a keyword option", function, option);
    return std::nullopt;
}

}  // namespace

int bind_option(const char* function, OptionSet allowed, PyObject* key, PyObject* item, CallOptions& out) {
    if (!PyUnicode_Check(key)) return 0;
    for (OptionRow const& row : REQUEST_OPTIONS) {
        if ((allowed & option_bit(row.key)) == 0) continue;
        if (PyUnicode_CompareWithASCIIString(key, row.name.data()) != 0) continue;
        if (item == Py_None) return 1;  // None leaves an option absent
        std::optional<OptionValue> value = option_value(function, row, item);
        if (!value) return -1;
        out.set(row.key, std::move(*value));
        return 1;
    }
    return 0;
}

void finish_options(CallOptions& options) { options.finish(); }

namespace {

bool too_many_positional(const char* function, Py_ssize_t positional, Py_ssize_t keywords) {
    PyErr_Format(PyExc_TypeError, "%s() takes at most 1 argument (%zd given); its options are keyword-only", function,
                 positional + keywords);
    return false;
}

// One keyword argument: the first parameter by name, or an option in
// `allowed`. False with an exception set.
bool bind_keyword(const char* function, const char* first_name, OptionSet allowed, PyObject* key, PyObject* item,
                  PyObject*& value, CallOptions& options) {
    if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, first_name) == 0) {
        if (value != nullptr) {
            PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (1)", function,
                         first_name);
            return false;
        }
        value = item;
        return true;
    }
    int const bound = bind_option(function, allowed, key, item, options);
    if (bound < 0) return false;
    if (bound == 0) {
        Ref key_repr(PyObject_Repr(key));
        if (!key_repr) return false;
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %U", function, key_repr.get());
        return false;
    }
    return true;
}

PyObject* bound_value(const char* function, const char* first_name, PyObject* value, CallOptions& options) {
    if (value == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos 1)", function, first_name);
        return nullptr;
    }
    finish_options(options);
    return value;
}

}  // namespace

PyObject* bind_arguments(const char* function, const char* first_name, OptionSet allowed, PyObject* args,
                         PyObject* kwargs, CallOptions& options) {
    Py_ssize_t const positional = PyTuple_Size(args);
    if (positional < 0) return nullptr;
    if (positional > 1) {
        too_many_positional(function, positional, kwargs ? PyDict_Size(kwargs) : 0);
        return nullptr;
    }
    PyObject* value = positional == 1 ? PyTuple_GetItem(args, 0) : nullptr;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &item)) {
            if (!bind_keyword(function, first_name, allowed, key, item, value, options)) return nullptr;
        }
    }
    return bound_value(function, first_name, value, options);
}

PyObject* bind_fast_arguments(const char* function, const char* first_name, OptionSet allowed, PyObject* const* args,
                              Py_ssize_t positional, PyObject* keyword_names, CallOptions& options) {
    Py_ssize_t const keywords = keyword_names ? PyTuple_Size(keyword_names) : 0;
    if (keywords < 0) return nullptr;
    if (positional > 1) {
        too_many_positional(function, positional, keywords);
        return nullptr;
    }
    PyObject* value = positional == 1 ? args[0] : nullptr;
    for (Py_ssize_t i = 0; i < keywords; ++i) {
        PyObject* key = PyTuple_GetItem(keyword_names, i);
        if (key == nullptr) return nullptr;
        if (!bind_keyword(function, first_name, allowed, key, args[positional + i], value, options)) return nullptr;
    }
    return bound_value(function, first_name, value, options);
}

bool bind_zone(const char* function, const char* option, PyObject* item, std::optional<TimeZone>& zone) {
    if (item == nullptr || item == Py_None) return true;
    return zone_argument(function, option, item, zone);
}

}  // namespace epochsift::python
