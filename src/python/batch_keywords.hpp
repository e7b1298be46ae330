// The keywords of the batch functions: their own (threads, best) and, once
// identify takes them, identify's reading keywords, read by its helper.
#pragma once

#include <cstddef>

#include "python/py_ref.hpp"

namespace epochsift::python {

struct BatchKeywords {
    unsigned threads = 0;  // 0: the cores available
    std::size_t best = 0;  // 0: every reading
};

// Binds `function(values, *, threads=None, best=None)`: one positional
// argument, returned borrowed. `default_best` applies when best is absent;
// None keeps every reading. Null with TypeError or ValueError set on a fault.
PyObject* bind_batch(const char* function, PyObject* args, PyObject* kwargs, std::size_t default_best,
                     BatchKeywords& out);

}  // namespace epochsift::python
