// identify_arrow: reads an Arrow string column in place through the PyCapsule
// interface, runs the engine without the GIL and answers with an object that
// exports the readings through the same interface.
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "python/arrow_import.hpp"
#include "python/batch_functions.hpp"
#include "python/batch_keywords.hpp"
#include "python/batch_reader.hpp"
#include "python/chunk_pool.hpp"
#include "python/reading_columns.hpp"
#include "python/reading_columns_object.hpp"

namespace epochsift::python {

namespace {

// The readings kept of one chunk of rows.
struct ChunkRows {
    std::vector<ReadingRow> rows;
    ReadOutcome outcome = ReadOutcome::Done;
};

void read_chunk_rows(const TextColumn& texts, std::size_t first, std::size_t count, std::size_t best,
                     const ReadOptions& options, ChunkRows& out) noexcept {
    // Null rows give no readings: they are read as nothing and skipped.
    std::vector<std::string_view> present;
    std::vector<int64_t> present_rows;
    ChunkReadings readings;
    try {
        present.reserve(count);
        present_rows.reserve(count);
        for (std::size_t i = first; i < first + count; ++i) {
            if (!texts.valid[i]) continue;
            present.push_back(texts.texts[i]);
            present_rows.push_back(static_cast<int64_t>(i));
        }
    } catch (...) {
        out.outcome = ReadOutcome::OutOfMemory;
        return;
    }
    read_texts(present, best, options, readings);
    out.outcome = readings.outcome;
    if (readings.outcome != ReadOutcome::Done) return;
    try {
        out.rows.reserve(readings.readings.size());
        for (std::size_t t = 0; t < present.size(); ++t) {
            int32_t rank = 0;
            for (Candidate const& c : readings.of(t)) {
                out.rows.push_back(ReadingRow{present_rows[t], ++rank, c.format_id(), c.label(), c.instant.ns, c.rendered(),
                                              c.score});
            }
        }
    } catch (...) {
        out.outcome = ReadOutcome::OutOfMemory;
    }
}

}  // namespace

int add_arrow_types(PyObject* module) { return add_reading_columns_type(module); }

PyObject* identify_arrow(PyObject* module, PyObject* args, PyObject* kwargs) {
    BatchKeywords keywords;
    CallOptions options;
    PyObject* column = bind_batch("identify_arrow", args, kwargs, 1, keywords, options);
    if (column == nullptr) return nullptr;
    ImportedArrays imported;
    TextColumn texts;
    try {
        if (!import_column(column, imported, texts)) return nullptr;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }

    std::size_t const count = texts.texts.size();
    ChunkPlan const plan(count, keywords.threads);
    std::size_t const chunks = plan.chunks();
    std::vector<ChunkRows> read;
    std::shared_ptr<const ReadingColumns> columns;
    bool out_of_memory = false;
    ReadOutcome outcome = ReadOutcome::Done;
    Py_BEGIN_ALLOW_THREADS
    try {
        read.resize(chunks);
        std::size_t const best = keywords.best;
        {
            ChunkPool pool(chunks, keywords.threads, chunks, [&](std::size_t chunk) {
                read_chunk_rows(texts, plan.first(chunk), plan.length(chunk), best, options.read, read[chunk]);
            });
            for (std::size_t chunk = 0; chunk < chunks; ++chunk) pool.take(chunk);
        }
        std::vector<std::span<const ReadingRow>> parts;
        parts.reserve(chunks);
        for (ChunkRows const& chunk : read) {
            if (chunk.outcome != ReadOutcome::Done && outcome == ReadOutcome::Done) outcome = chunk.outcome;
            parts.emplace_back(chunk.rows);
        }
        if (outcome == ReadOutcome::Done) columns = build_reading_columns(parts);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    Py_END_ALLOW_THREADS
    if (out_of_memory || outcome == ReadOutcome::OutOfMemory) return PyErr_NoMemory();
    if (outcome != ReadOutcome::Done) {
        PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
        return nullptr;
    }
    return wrap_columns(module, std::move(columns));
}

}  // namespace epochsift::python
