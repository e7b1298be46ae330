// The keyword-only options every identify function takes, read by one
// parser into the engine's ReadOptions, with the interpreter's wording for
// each fault (TypeError for a wrong type, ValueError for a wrong value).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/request_options.hpp"
#include "engine/time_zone.hpp"
#include "python/py_ref.hpp"

namespace epochsift::python {

// The options of one call (engine/request_options.hpp): a CallOptions
// must outlive the engine call and stay where it was bound.
using CallOptions = CallerOptions;

// identify's keywords; best is a keyword of the batch functions, read there.
inline constexpr OptionSet IDENTIFY_OPTIONS =
    OPT_EXTENDED | OPT_HINT | OPT_BYTE_WIDTH | OPT_BYTE_ORDER | OPT_NEIGHBOURS | OPT_WINDOW | OPT_TZ | OPT_LOCAL_ZONE;

// TypeError "function() argument 'option' must be expected, not 'type'";
// always false.
bool fail_type(const char* function, const char* option, const char* expected, PyObject* got);

// Reads keyword key if it names an option in `allowed`: 1 when read, 0 when
// it names none (nothing set), -1 with an exception set. None leaves an
// option absent.
int bind_option(const char* function, OptionSet allowed, PyObject* key, PyObject* item, CallOptions& out);

// A zone keyword outside the identify options (encode's tz and local_zone):
// absent or None leaves zone empty; false with TypeError or ValueError set.
bool bind_zone(const char* function, const char* option, PyObject* item, std::optional<TimeZone>& zone);

// Points options.read at the owned texts and zones: once, after the last
// bind_option.
void finish_options(CallOptions& options);

// Binds the one positional-or-keyword parameter (named first_name) and the
// keyword-only options in `allowed`. Returns a borrowed reference to the
// first argument, or null with an exception set. Any option that is not
// given stays absent, so a call with the first argument alone is the
// reference reading.
PyObject* bind_arguments(const char* function, const char* first_name, OptionSet allowed, PyObject* args,
                         PyObject* kwargs, CallOptions& options);

// bind_arguments for the vectorcall convention: `positional` arguments,
// then the values of the keywords named in keyword_names (a tuple of str, or
// null), all in args.
PyObject* bind_fast_arguments(const char* function, const char* first_name, OptionSet allowed, PyObject* const* args,
                              Py_ssize_t positional, PyObject* keyword_names, CallOptions& options);

}  // namespace epochsift::python
