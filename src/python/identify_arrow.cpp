// identify_arrow: reads an Arrow string column in place through the PyCapsule
// interface, runs the engine without the GIL and answers with an object that
// exports the readings through the same interface.
#include <atomic>
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
#include "python/guarded.hpp"
#include "python/chunk_pool.hpp"
#include "python/interrupts.hpp"
#include "python/reading_columns.hpp"
#include "python/reading_columns_object.hpp"

namespace epochsift::python {

namespace {

// The readings kept of one chunk of rows.
struct ChunkRows {
    std::vector<ReadingRow> rows;
    ReadOutcome outcome = ReadOutcome::Done;
};

// The row of an input that nothing reads, kept with keep_empty: rank 0
// marks every reading field null.
ReadingRow empty_row(int64_t row) { return ReadingRow{row, 0, {}, {}, 0, std::nullopt, 0.0}; }

void read_chunk_rows(const TextColumn& texts, std::size_t first, std::size_t count, std::size_t best,
                     bool keep_empty, const ReadOptions& options, const std::atomic<bool>& cancelled,
                     ChunkRows& out) noexcept {
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
    read_texts(present, best, options, readings, &cancelled);
    out.outcome = readings.outcome;
    if (readings.outcome != ReadOutcome::Done) return;
    try {
        out.rows.reserve(readings.readings.size() + (keep_empty ? count : 0));
        int64_t next_row = static_cast<int64_t>(first);  // the rows before it are written
        for (std::size_t t = 0; t < present.size(); ++t) {
            if (keep_empty) {
                while (next_row < present_rows[t]) out.rows.push_back(empty_row(next_row++));  // nulls
                next_row = present_rows[t] + 1;
                if (readings.of(t).empty()) out.rows.push_back(empty_row(present_rows[t]));
            }
            int32_t rank = 0;
            for (Candidate const& c : readings.of(t)) {
                out.rows.push_back(ReadingRow{present_rows[t], ++rank, c.format_id(), c.label(), c.instant.ns, c.rendered(),
                                              c.score});
            }
        }
        if (keep_empty) {
            while (next_row < static_cast<int64_t>(first + count)) out.rows.push_back(empty_row(next_row++));
        }
    } catch (...) {
        out.outcome = ReadOutcome::OutOfMemory;
    }
}

}  // namespace

int add_arrow_types(PyObject* module) { return add_reading_columns_type(module); }

namespace {

PyObject* identify_arrow_body(PyObject* module, PyObject* args, PyObject* kwargs) {
    BatchKeywords keywords;
    CallOptions options;
    PyObject* column = bind_batch("identify_arrow", args, kwargs, 1, keywords, options, BatchFunction::Arrow);
    if (column == nullptr) return nullptr;
    ImportedArrays imported;
    TextColumn texts;
    if (!import_column(column, imported, texts)) return nullptr;

    std::size_t const count = texts.texts.size();
    ChunkPlan const plan(count, keywords.threads);
    std::size_t const chunks = plan.chunks();
    std::vector<ChunkRows> read(chunks);
    std::size_t const best = keywords.best;
    std::atomic<bool> cancelled = false;
    std::optional<ChunkPool> pool;
    pool.emplace(chunks, keywords.threads, chunks, [&](std::size_t chunk) {
        read_chunk_rows(texts, plan.first(chunk), plan.length(chunk), best, keywords.keep_empty, options.read, cancelled,
                        read[chunk]);
    });
    bool interrupted = false;
    for (std::size_t chunk = 0; chunk < chunks && !interrupted; ++chunk) {
        interrupted = !take_answering_signals(*pool, chunk, cancelled);
    }
    std::shared_ptr<const ReadingColumns> columns;
    bool out_of_memory = false;
    ReadOutcome outcome = ReadOutcome::Done;
    Py_BEGIN_ALLOW_THREADS
    pool.reset();  // workers stop between texts once cancelled
    try {
        std::vector<std::span<const ReadingRow>> parts;
        parts.reserve(chunks);
        for (ChunkRows const& chunk : read) {
            if (chunk.outcome != ReadOutcome::Done && outcome == ReadOutcome::Done) outcome = chunk.outcome;
            parts.emplace_back(chunk.rows);
        }
        if (!interrupted && outcome == ReadOutcome::Done) columns = build_reading_columns(parts);
    } catch (...) {  // nothing may unwind past the GIL's return
        out_of_memory = true;
    }
    Py_END_ALLOW_THREADS
    if (interrupted) return nullptr;  // the signal handler's exception is set
    if (out_of_memory || outcome == ReadOutcome::OutOfMemory) return PyErr_NoMemory();
    if (outcome != ReadOutcome::Done) {
        PyErr_SetString(PyExc_SystemError, "epochsift: unexpected exception in the engine");
        return nullptr;
    }
    return wrap_columns(module, std::move(columns));
}

}  // namespace

PyObject* identify_arrow(PyObject* module, PyObject* args, PyObject* kwargs) {
    return guarded_call([&] { return identify_arrow_body(module, args, kwargs); });
}

}  // namespace epochsift::python
