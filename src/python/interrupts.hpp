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

// Takes the chunks of a caller that works on each with the GIL held (boxing
// readings) and still lets other threads run. A thread waiting for the GIL
// asks for it only after the interpreter's switch interval without it, and
// every release wakes it to try afresh: a caller letting go between chunks
// already read, each in less than that interval, wins every race and starves
// it. So a chunk already read is taken without letting go until the GIL has
// been held twice the interval; the release after that hands the GIL to the
// thread that asked for it.
class ChunkTurns {
public:
    // With the GIL held: reads the switch interval (sys.getswitchinterval()).
    ChunkTurns() {
        double interval = 0.005;
        if (PyObject* get = PySys_GetObject("getswitchinterval")) {  // borrowed
            if (PyObject* value = PyObject_CallNoArgs(get)) {
                double const seconds = PyFloat_AsDouble(value);
                if (seconds > 0.0 && seconds < 10.0) interval = seconds;
                Py_DECREF(value);
            }
        }
        PyErr_Clear();
        hold_limit_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(2 * interval));
    }

    // As take_answering_signals.
    bool take(ChunkPool& pool, std::size_t chunk, std::atomic<bool>& cancelled) {
        if (std::chrono::steady_clock::now() - held_since_ < hold_limit_ && pool.try_take(chunk)) {
            if (PyErr_CheckSignals() < 0) {
                cancelled = true;
                pool.stop();
                return false;
            }
            return true;
        }
        bool const taken = take_answering_signals(pool, chunk, cancelled);
        held_since_ = std::chrono::steady_clock::now();
        return taken;
    }

private:
    std::chrono::steady_clock::duration hold_limit_{};
    std::chrono::steady_clock::time_point held_since_ = std::chrono::steady_clock::now();
};

}  // namespace epochsift::python
