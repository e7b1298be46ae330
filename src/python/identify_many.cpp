// identify_many: every item converted to UTF-8 with the GIL held (a bad item
// fails the call before any work), the engine on worker threads without the
// GIL, each finished chunk boxed on the caller while later chunks are read.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "python/batch_functions.hpp"
#include "python/batch_keywords.hpp"
#include "python/batch_reader.hpp"
#include "python/chunk_pool.hpp"
#include "python/reading_objects.hpp"
#include "python/value_text.hpp"

namespace epochsift::python {

namespace {

// All items' UTF-8 bytes back to back.
struct Texts {
    std::string bytes;
    std::vector<std::size_t> ends;
    std::vector<std::string_view> views;  // made once the bytes stop moving
};

// Re-raises the codec's UnicodeEncodeError for item `index` with the index
// in its reason, keeping its encoding, object and span.
void name_index_in_encode_error(Py_ssize_t index) {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Ref type_ref(type), value_ref(value), traceback_ref(traceback);
    Ref encoding(PyObject_GetAttrString(value, "encoding"));
    Ref object(PyObject_GetAttrString(value, "object"));
    Ref start(PyObject_GetAttrString(value, "start"));
    Ref end(PyObject_GetAttrString(value, "end"));
    Ref reason(PyObject_GetAttrString(value, "reason"));
    if (!encoding || !object || !start || !end || !reason) return;
    Ref indexed(PyUnicode_FromFormat("item %zd: %U", index, reason.get()));
    if (!indexed) return;
    Ref error(PyObject_CallFunctionObjArgs(PyExc_UnicodeEncodeError, encoding.get(), object.get(), start.get(),
                                           end.get(), indexed.get(), nullptr));
    if (!error) return;
    PyErr_SetObject(PyExc_UnicodeEncodeError, error.get());
}

// False with the item's error set (TypeError or UnicodeEncodeError, as
// identify raises them, naming the item's index).
bool collect(const char* function, PyObject* values, Texts& texts) {
    // A str is iterable too, but a text passed for the values is a mistake:
    // its characters would each be read as a value.
    if (PyUnicode_Check(values) || PyBytes_Check(values) || PyByteArray_Check(values)) {
        PyErr_Format(PyExc_TypeError, "%s() argument 'values' must be an iterable of str, not a single text",
                     function);
        return false;
    }
    Ref iterator(PyObject_GetIter(values));
    if (!iterator) return false;
    try {
        Py_ssize_t index = 0;
        while (PyObject* raw = PyIter_Next(iterator.get())) {
            Ref item(raw);
            bool const is_str = PyType_GetFlags(Py_TYPE(item.get())) & Py_TPFLAGS_UNICODE_SUBCLASS;
            Ref utf8;
            if (is_str) {
                utf8 = Ref(PyUnicode_AsUTF8String(item.get()));
            } else {
                char what[96];  // the error's text, only when there is one
                std::snprintf(what, sizeof what, "%s() item %zd", function, index);
                utf8 = Ref(utf8_of(item.get(), what));
            }
            if (!utf8) {
                if (is_str && PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) name_index_in_encode_error(index);
                return false;
            }
            char* data = PyBytes_AsString(utf8.get());
            Py_ssize_t const size = PyBytes_Size(utf8.get());
            if (data == nullptr || size < 0) return false;
            texts.bytes.append(data, static_cast<std::size_t>(size));
            texts.ends.push_back(texts.bytes.size());
            ++index;
        }
        if (PyErr_Occurred()) return false;
        texts.views.reserve(texts.ends.size());
        std::size_t begin = 0;
        for (std::size_t end : texts.ends) {
            texts.views.emplace_back(texts.bytes.data() + begin, end - begin);
            begin = end;
        }
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return false;
    }
    return true;
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
        case ReadOutcome::Unexpected: break;
    }
    PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
    return true;
}

}  // namespace

PyObject* identify_many(PyObject*, PyObject* args, PyObject* kwargs) {
    BatchKeywords keywords;
    CallOptions options;
    PyObject* values = bind_batch("identify_many", args, kwargs, 0, keywords, options);
    if (values == nullptr) return nullptr;
    Texts texts;
    if (!collect("identify_many", values, texts)) return nullptr;

    std::size_t const count = texts.views.size();
    Ref result(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!result) return nullptr;
    std::unique_ptr<ReadingBoxer> boxer(ReadingBoxer::create());
    if (!boxer) return nullptr;

    ChunkPlan const plan(count, keywords.threads);
    std::size_t const chunks = plan.chunks();
    std::vector<ChunkReadings> read;
    try {
        read.resize(chunks);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    std::span<const std::string_view> const views(texts.views);
    std::size_t const best = keywords.best;
    auto job = [&](std::size_t chunk) {
        read_texts(views.subspan(plan.first(chunk), plan.length(chunk)), best, options.read, read[chunk]);
    };
    std::optional<ChunkPool> pool;
    try {
        pool.emplace(chunks, keywords.threads, 2 * std::size_t{keywords.threads} + 2, job);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    std::string_view const display_name = options.display_zone ? options.display_zone->name() : std::string_view();
    std::string_view const local_name = options.local_zone ? options.local_zone->name() : std::string_view();
    bool failed = false;
    CollectorPause pause;
    for (std::size_t chunk = 0; chunk < chunks && !failed; ++chunk) {
        Py_BEGIN_ALLOW_THREADS
        pool->take(chunk);
        Py_END_ALLOW_THREADS
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
    // Workers finish their current chunk before they stop.
    Py_BEGIN_ALLOW_THREADS
    pool.reset();
    Py_END_ALLOW_THREADS
    return failed ? nullptr : result.release();
}

}  // namespace epochsift::python
