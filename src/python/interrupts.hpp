// Long batch calls stay interruptible: the caller waits for each chunk in
// short steps without the GIL and runs the interpreter's signal handlers
// between them, so Ctrl-C raises KeyboardInterrupt within a fraction of a
// second whatever the input's size.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <chrono>
#include <cstddef>

#include "python/chunk_pool.hpp"

namespace epochsift::python {

// How long the caller waits without the GIL before it looks at signals.
inline constexpr std::chrono::milliseconds SIGNAL_POLL_INTERVAL{50};

// Takes `chunk`, with the GIL released while it waits. False with the
// signal handler's exception set (KeyboardInterrupt for SIGINT); the workers
// are then told to stop, and stop between texts.
inline bool take_answering_signals(ChunkPool& pool, std::size_t chunk, std::atomic<bool>& cancelled) {
    for (;;) {
        bool done = false;
        Py_BEGIN_ALLOW_THREADS
        done = pool.take_within(chunk, SIGNAL_POLL_INTERVAL);
        Py_END_ALLOW_THREADS
        if (PyErr_CheckSignals() < 0) {
            cancelled = true;
            pool.stop();
            return false;
        }
        if (done) return true;
    }
}

}  // namespace epochsift::python
