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

#include "core/decimal_text.hpp"
#include "engine/best_readings.hpp"
#include "engine/best_readings_shelf.hpp"
#include "engine/column.hpp"
#include "engine/verdict_reader.hpp"
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
    ReadingRows rows;
    ReadOutcome outcome = ReadOutcome::Done;
};

// How a chunk's values are read: with zones through read_texts; else each
// value's first readings without building the rest, or (by_column) the
// verdict's reading of each value, the full reading where it has none.
struct ChunkReading {
    std::size_t best;
    bool keep_empty;
    const ReadOptions& options;
    const VerdictReader* verdict;  // by_column, when a format reads the column
    ReadingRows::Path path;         // of rows not made by the verdict: Full with by_column, else Unset
    BestReadingsShelf& shelf;       // the reader, and the memos the chunks pass on
};

void read_zoned_rows(const TextColumn& texts, std::size_t first, std::size_t count, const ChunkReading& how,
                     const std::atomic<bool>& cancelled, ChunkRows& out) {
    std::vector<std::string_view> present;
    std::vector<int64_t> present_rows;
    std::vector<DecimalText> digits(texts.holds_integers() ? count : 0);  // an integer column's texts, for this chunk
    ChunkReadings readings;
    present.reserve(count);
    present_rows.reserve(count);
    for (std::size_t i = first; i < first + count; ++i) {
        if (!texts.valid[i]) continue;
        present.push_back(digits.empty() ? texts.texts[i] : texts.text(i, digits[i - first]));
        present_rows.push_back(static_cast<int64_t>(i));
    }
    read_texts(present, how.best, how.options, readings, &cancelled);
    out.outcome = readings.outcome;
    if (readings.outcome != ReadOutcome::Done) return;
    out.rows.reserve(readings.readings.size() + (how.keep_empty ? count : 0));
    int64_t next_row = static_cast<int64_t>(first);  // the rows before it are written
    for (std::size_t t = 0; t < present.size(); ++t) {
        if (how.keep_empty) {
            while (next_row < present_rows[t]) out.rows.add_empty(next_row++);  // nulls
            next_row = present_rows[t] + 1;
            if (readings.of(t).empty()) out.rows.add_empty(present_rows[t]);
        }
        int32_t rank = 0;
        for (Candidate const& c : readings.of(t)) out.rows.add(present_rows[t], ++rank, c, how.path);
    }
    if (how.keep_empty) {
        while (next_row < static_cast<int64_t>(first + count)) out.rows.add_empty(next_row++);
    }
}

// The rows of one present value read by the verdict: its reading of the
// format, from the format's own path or else from the full reading; the
// full reading's first `best` where the format reads nothing. An integer's
// text is written only where a reading takes it.
void verdict_rows(const TextColumn& texts, std::size_t i, const ChunkReading& how, const BestReadings& every,
                  FamilyScoreMemo* memo, ChunkRows& out) {
    VerdictReader const& verdict = *how.verdict;
    auto const row = static_cast<int64_t>(i);
    const int64_t* integer = texts.integer(i);
    DecimalText digits;
    if (memo != nullptr) {
        // A family's reading: its instant and score alone are kept.
        auto const own = integer != nullptr ? verdict.score_integer(*integer, *memo)
                                            : verdict.score_text(texts.text(i, digits), *memo);
        if (own) {
            out.rows.add(row, 1, verdict.format(), own->instant, own->score, NO_CONFIDENCE, ReadingRows::Path::Verdict);
            return;
        }
    } else if (auto const own = verdict.read(texts.text(i, digits))) {
        out.rows.add(row, 1, *own, ReadingRows::Path::Verdict);
        return;
    }
    std::string_view const text = texts.text(i, digits);
    std::vector<Candidate> const full = integer != nullptr ? every.identify_integer(*integer, text) : every.identify(text);
    for (Candidate const& c : full) {
        if (c.format != verdict.format()) continue;
        out.rows.add(row, 1, c, ReadingRows::Path::Verdict);
        return;
    }
    if (full.empty()) {
        if (how.keep_empty) out.rows.add_empty(row);
        return;
    }
    std::size_t const kept = how.best == 0 ? full.size() : std::min(how.best, full.size());
    for (std::size_t k = 0; k < kept; ++k) out.rows.add(row, static_cast<int32_t>(k + 1), full[k], ReadingRows::Path::Full);
}

void read_chunk_rows(const TextColumn& texts, std::size_t first, std::size_t count, const ChunkReading& how,
                     const std::atomic<bool>& cancelled, ChunkRows& out) noexcept {
    try {
        if (how.options.zones.any()) {
            read_zoned_rows(texts, first, count, how, cancelled, out);
            return;
        }
        // Prepared once a call: only the readings that can be among the
        // first `best` are built (every reading for the by_column fallback,
        // which looks for the verdict's among them).
        BestReadings const& reader = how.shelf.reader();
        std::vector<Candidate> readings;  // one value's, its room kept from value to value
        // The verdict family's scores, kept over the chunk's values.
        std::optional<FamilyScoreMemo> memo;
        if (how.verdict != nullptr && how.verdict->reads_integers()) memo.emplace(how.verdict->score_memo());
        // The families' bounds and scores, kept over the chunk's integers
        // and passed on to the next chunk (the verdict's rows keep their own).
        std::optional<BestReadingsShelf::Loan> kept;
        if (how.verdict == nullptr) kept.emplace(how.shelf.lend());
        out.rows.reserve(how.verdict != nullptr || how.best == 1 ? count : count * 2);
        for (std::size_t i = first; i < first + count; ++i) {
            if ((i - first) % 256 == 0 && cancelled.load(std::memory_order_relaxed)) {
                out.outcome = ReadOutcome::Cancelled;
                return;
            }
            auto const row = static_cast<int64_t>(i);
            if (!texts.valid[i]) {
                if (how.keep_empty) out.rows.add_empty(row);
                continue;
            }
            if (how.verdict != nullptr) {
                verdict_rows(texts, i, how, reader, memo ? &*memo : nullptr, out);
                continue;
            }
            DecimalText digits;  // an integer's text, for the readings of its digits
            std::string_view const text = texts.text(i, digits);
            if (const int64_t* integer = texts.integer(i)) reader.identify_integer(*integer, text, readings, kept->memo());
            else reader.identify(text, readings, kept->memo());
            if (readings.empty() && how.keep_empty) out.rows.add_empty(row);
            int32_t rank = 0;
            for (Candidate const& c : readings) out.rows.add(row, ++rank, c, how.path);
        }
        out.outcome = ReadOutcome::Done;
    } catch (const std::bad_alloc&) {
        out.outcome = ReadOutcome::OutOfMemory;
    } catch (const std::length_error&) {
        out.outcome = ReadOutcome::OutOfMemory;
    } catch (...) {
        out.outcome = ReadOutcome::Unexpected;
    }
}

// The column's verdict: from every value when few, else from values spread
// evenly over it (their order kept). Nothing when no format reads any.
std::optional<FormatRef> column_verdict(const TextColumn& texts, const ReadOptions& options) {
    constexpr std::size_t SAMPLE = 10'000;
    std::vector<std::string_view> sample;
    std::size_t const count = texts.size();
    std::size_t const step = count <= SAMPLE ? 1 : count / SAMPLE;
    sample.reserve(std::min(count, SAMPLE + 1));
    // An integer column's texts, written for the sampled values alone.
    std::vector<DecimalText> digits(texts.holds_integers() ? (count + step - 1) / step : 0);
    for (std::size_t i = 0; i < count; i += step) {
        if (!texts.valid[i]) continue;
        sample.push_back(digits.empty() ? texts.texts[i] : texts.text(i, digits[sample.size()]));
    }
    std::vector<ColumnVerdict> const verdicts = identify_column(sample, options);
    if (verdicts.empty()) return std::nullopt;
    return verdicts.front().format;
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

    std::size_t const count = texts.size();
    ChunkPlan const plan(count, keywords.threads);
    std::size_t const chunks = plan.chunks();
    std::vector<ChunkRows> read(chunks);
    std::atomic<bool> cancelled = false;
    std::optional<VerdictReader> verdict;
    if (keywords.by_column && !options.read.zones.any()) {
        std::optional<FormatRef> format = keywords.column_format;
        if (!format) {
            bool failed = false;
            Py_BEGIN_ALLOW_THREADS
            try {
                format = column_verdict(texts, options.read);
            } catch (...) {  // nothing may unwind past the GIL's return
                failed = true;
            }
            Py_END_ALLOW_THREADS
            if (failed) return PyErr_NoMemory();
        }
        if (format) verdict.emplace(*format, options.read);
    }
    std::optional<BestReadingsShelf> shelf;
    try {
        shelf.emplace(options.read, verdict ? 0 : keywords.best);
    } catch (...) {
        return PyErr_NoMemory();
    }
    ChunkReading const how{keywords.best, keywords.keep_empty, options.read, verdict ? &*verdict : nullptr,
                           keywords.by_column ? ReadingRows::Path::Full : ReadingRows::Path::Unset, *shelf};
    std::optional<ChunkPool> pool;
    pool.emplace(chunks, keywords.threads, chunks, [&](std::size_t chunk) {
        read_chunk_rows(texts, plan.first(chunk), plan.length(chunk), how, cancelled, read[chunk]);
    });
    // Each chunk's rows join the columns as it is taken, in order, and are
    // freed: the room of one chunk serves the next, and no row is held twice.
    std::size_t const expected = keywords.by_column || keywords.best == 1 ? count : 2 * count;
    std::optional<ReadingColumnsBuilder> builder;
    bool interrupted = false;
    bool out_of_memory = false;
    ReadOutcome outcome = ReadOutcome::Done;
    try {
        builder.emplace(keywords.by_column, expected);
    } catch (...) {
        out_of_memory = true;
    }
    for (std::size_t chunk = 0; chunk < chunks && !out_of_memory; ++chunk) {
        interrupted = !take_answering_signals(*pool, chunk, cancelled);
        if (interrupted) break;
        ChunkRows& taken = read[chunk];
        if (taken.outcome != ReadOutcome::Done) {
            outcome = taken.outcome;
            break;
        }
        Py_BEGIN_ALLOW_THREADS
        try {
            builder->append(taken.rows);
        } catch (...) {  // nothing may unwind past the GIL's return
            out_of_memory = true;
        }
        taken.rows = ReadingRows();
        Py_END_ALLOW_THREADS
    }
    std::shared_ptr<const ReadingColumns> columns;
    Py_BEGIN_ALLOW_THREADS
    if (interrupted || out_of_memory || outcome != ReadOutcome::Done) {
        cancelled = true;
        pool->stop();
    }
    pool.reset();  // workers stop between texts once cancelled
    if (!interrupted && !out_of_memory && outcome == ReadOutcome::Done) {
        try {
            columns = builder->finish();
        } catch (...) {  // nothing may unwind past the GIL's return
            out_of_memory = true;
        }
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
