// The keywords of the batch functions: their own (threads, best) and
// identify's reading keywords, read by identify's own parser.
#pragma once

#include <cstddef>
#include <optional>

#include "formats/catalog.hpp"

#include "python/call_options.hpp"
#include "python/py_ref.hpp"

namespace epochsift::python {

struct BatchKeywords {
    unsigned threads = 0;  // 0: the cores available
    std::size_t best = 0;  // 0: every reading
    bool keep_empty = false;  // identify_arrow: a row for every input, null where nothing reads
    // identify_arrow: decode by the column's verdict (True), or by this
    // format (a format id given), one format a value.
    bool by_column = false;
    std::optional<FormatRef> column_format;
};

// Which batch function binds: identify_arrow alone takes keep_empty.
enum class BatchFunction : unsigned char { Many, Arrow };

// Binds `function(values, *, threads=None, best=None, <identify's options>)`
// (and keep_empty=False for identify_arrow):
// one positional argument, returned borrowed. `default_best` applies when
// best is absent; None keeps every reading. Null with TypeError or
// ValueError set on a fault.
PyObject* bind_batch(const char* function, PyObject* args, PyObject* kwargs, std::size_t default_best,
                     BatchKeywords& out, CallOptions& options, BatchFunction which = BatchFunction::Many);

}  // namespace epochsift::python
