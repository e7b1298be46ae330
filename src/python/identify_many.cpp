// identify_many: every item converted to UTF-8 with the GIL held (a bad item
// fails the call before any work), the engine on worker threads without the
// GIL, each finished chunk boxed on the caller while later chunks are read.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/best_readings_shelf.hpp"
#include "python/batch_functions.hpp"
#include "python/batch_keywords.hpp"
#include "python/batch_reader.hpp"
#include "python/chunk_pool.hpp"
#include "python/guarded.hpp"
#include "python/interrupts.hpp"
#include "python/reading_objects.hpp"
#include "python/text_items.hpp"

namespace epochsift::python {

namespace {

// False with the item's error set (TypeError or UnicodeEncodeError, as
// identify raises them, naming the item's index).
bool collect(const char* function, PyObject* values, TextItems& texts) {
    // A str is iterable too, but a text passed for the values is a mistake:
    // its characters would each be read as a value.
    if (PyUnicode_Check(values) || PyBytes_Check(values) || PyByteArray_Check(values)) {
        PyErr_Format(PyExc_TypeError, "%s() argument 'values' must be an iterable of str, not a single text",
                     function);
        return false;
    }
    return collect_text_items(function, values, ItemErrors::Indexed, texts);
}

// Pauses the cyclic collector while the results are boxed: they are new,
// acyclic and all reachable, so a collection could free nothing, yet
// collections triggered by their allocations would walk them again and
// again. The collector's state is restored when the call ends.
class CollectorPause {
public:
    CollectorPause() {
        Ref gc(PyImport_ImportModule("gc"));
        if (!gc) {
            PyErr_Clear();
            return;
        }
        Ref enabled(PyObject_CallMethod(gc.get(), "isenabled", nullptr));
        if (enabled && PyObject_IsTrue(enabled.get()) == 1) {
            Ref done(PyObject_CallMethod(gc.get(), "disable", nullptr));
            if (done) gc_ = std::move(gc);
        }
        PyErr_Clear();
    }
    ~CollectorPause() {
        if (!gc_) return;
        // Keeps an exception being raised across the call.
        PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
        PyErr_Fetch(&type, &value, &traceback);
        Ref done(PyObject_CallMethod(gc_.get(), "enable", nullptr));
        PyErr_Clear();
        PyErr_Restore(type, value, traceback);
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    Ref gc_;
};

bool raise_outcome(ReadOutcome outcome) {
    switch (outcome) {
        case ReadOutcome::Done: return false;
        case ReadOutcome::OutOfMemory: PyErr_NoMemory(); return true;
        case ReadOutcome::Cancelled:  // only after an interrupt, whose error is set
            if (PyErr_Occurred()) return true;
            break;
        case ReadOutcome::Unexpected: break;
    }
    PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    return true;
}

PyObject* identify_many_body(PyObject* args, PyObject* kwargs) {
    BatchKeywords keywords;
    CallOptions options;
    PyObject* values = bind_batch("identify_many", args, kwargs, 0, keywords, options);
    if (values == nullptr) return nullptr;
    TextItems texts;
    if (!collect("identify_many", values, texts)) return nullptr;

    std::size_t const count = texts.views.size();
    Ref result(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!result) return nullptr;
    std::unique_ptr<ReadingBoxer> boxer(ReadingBoxer::create());
    if (!boxer) return nullptr;

    ChunkPlan const plan(count, keywords.threads);
    std::size_t const chunks = plan.chunks();
    std::vector<ChunkReadings> read(chunks);
    std::span<const std::string_view> const views(texts.views);
    std::size_t const best = keywords.best;
    std::atomic<bool> cancelled = false;
    // One reader a call, its memos passed from chunk to chunk.
    BestReadingsShelf shelf(options.read, best);
    auto job = [&](std::size_t chunk) {
        read_texts(views.subspan(plan.first(chunk), plan.length(chunk)), best, options.read, read[chunk], &cancelled,
                   &shelf);
    };
    std::optional<ChunkPool> pool;
    pool.emplace(chunks, keywords.threads, 2 * std::size_t{keywords.threads} + 2, job);
    std::string_view const display_name = options.display_zone ? options.display_zone->name() : std::string_view();
    std::string_view const local_name = options.local_zone ? options.local_zone->name() : std::string_view();
    bool failed = false;
    CollectorPause pause;
    ChunkTurns turns;
    for (std::size_t chunk = 0; chunk < chunks && !failed; ++chunk) {
        if (!turns.take(*pool, chunk, cancelled)) {
            failed = true;
            break;
        }
        ChunkReadings& done = read[chunk];
        if (raise_outcome(done.outcome)) {
            failed = true;
            break;
        }
        std::size_t const first = plan.first(chunk);
        for (std::size_t i = 0; i < done.ends.size(); ++i) {
            PyObject* list = done.zones.empty()
                                 ? boxer->readings(done.of(i))
                                 : boxer->readings(done.of(i), done.zones_of(i), display_name, local_name);
            if (list == nullptr) {
                failed = true;
                break;
            }
            PyList_SetItem(result.get(), static_cast<Py_ssize_t>(first + i), list);
        }
        std::vector<Candidate>().swap(done.readings);  // free the chunk's readings now
        std::vector<ReadingZones>().swap(done.zones);
    }
    // Workers finish their current chunk (at once when cancelled) before they stop.
    if (failed) cancelled = true;
    Py_BEGIN_ALLOW_THREADS
    pool.reset();
    Py_END_ALLOW_THREADS
    return failed ? nullptr : result.release();
}

}  // namespace

PyObject* identify_many(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded_call([&] { return identify_many_body(args, kwargs); });
}

}  // namespace epochsift::python
