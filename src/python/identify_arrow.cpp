// identify_arrow: reads an Arrow string column in place through the PyCapsule
// interface, runs the engine without the GIL and answers with an object that
// exports the readings through the same interface.
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "python/arrow_strings.hpp"
#include "python/batch_functions.hpp"
#include "python/batch_keywords.hpp"
#include "python/batch_reader.hpp"
#include "python/chunk_pool.hpp"
#include "python/reading_columns.hpp"

namespace epochsift::python {

namespace {

// The input's arrays, released when the call ends; their buffers back the
// views the engine reads.
class ImportedArrays {
public:
    ImportedArrays() = default;
    ImportedArrays(const ImportedArrays&) = delete;
    ImportedArrays& operator=(const ImportedArrays&) = delete;
    ~ImportedArrays() {
        for (std::unique_ptr<ArrowArray>& array : arrays_) {
            if (array->release != nullptr) array->release(array.get());
        }
        if (schema_.release != nullptr) schema_.release(&schema_);
        if (stream_.release != nullptr) stream_.release(&stream_);
    }
    ArrowSchema& schema() { return schema_; }
    ArrowArrayStream& stream() { return stream_; }
    // Keeps one array; its address is stable until the call ends.
    ArrowArray& add() { return *arrays_.emplace_back(std::make_unique<ArrowArray>()); }

private:
    ArrowSchema schema_{};
    ArrowArrayStream stream_{};
    std::vector<std::unique_ptr<ArrowArray>> arrays_;
};

bool raise_read_fault(ArrowReadFault fault, const ArrowSchema& schema) {
    switch (fault) {
        case ArrowReadFault::None: return false;
        case ArrowReadFault::UnsupportedType:
            PyErr_Format(PyExc_TypeError,
                         "identify_arrow() needs a column of Arrow strings (utf8, large_utf8 or string_view), "
                         "not format '%s'",
                         schema.format != nullptr ? schema.format : "?");
            return true;
        case ArrowReadFault::Malformed: break;
    }
    PyErr_SetString(PyExc_ValueError, "identify_arrow(): the Arrow array lacks a buffer its format needs");
    return true;
}

// Calls column.<method>() and returns the capsule it gives, or null.
PyObject* capsule_from(PyObject* column, const char* method) {
    Ref bound(PyObject_GetAttrString(column, method));
    if (!bound) return nullptr;
    return PyObject_CallObject(bound.get(), nullptr);
}

// Moves the struct out of the capsule, so that the capsule's destructor
// finds it released and this call owns it.
template <class Struct>
bool take_from_capsule(PyObject* capsule, const char* name, Struct& out) {
    auto* inside = static_cast<Struct*>(PyCapsule_GetPointer(capsule, name));
    if (inside == nullptr) return false;
    if (inside->release == nullptr) {
        PyErr_Format(PyExc_ValueError, "identify_arrow(): the %s capsule was already consumed", name);
        return false;
    }
    out = *inside;
    inside->release = nullptr;
    return true;
}

// Reads every row's text view out of the column. False with an exception.
bool import_column(PyObject* column, ImportedArrays& imported, TextColumn& texts) {
    if (PyObject_HasAttrString(column, "__arrow_c_stream__")) {
        Ref capsule(capsule_from(column, "__arrow_c_stream__"));
        if (!capsule || !take_from_capsule(capsule.get(), "arrow_array_stream", imported.stream())) return false;
        ArrowArrayStream& stream = imported.stream();
        if (stream.get_schema(&stream, &imported.schema()) != 0) {
            char const* error = stream.get_last_error(&stream);
            PyErr_Format(PyExc_ValueError, "identify_arrow(): the stream gave no schema: %s", error ? error : "?");
            return false;
        }
        for (;;) {
            ArrowArray& array = imported.add();
            if (stream.get_next(&stream, &array) != 0) {
                char const* error = stream.get_last_error(&stream);
                PyErr_Format(PyExc_ValueError, "identify_arrow(): the stream failed: %s", error ? error : "?");
                return false;
            }
            if (array.release == nullptr) break;  // the end
            if (raise_read_fault(append_texts(imported.schema(), array, texts), imported.schema())) return false;
        }
        return true;
    }
    if (PyObject_HasAttrString(column, "__arrow_c_array__")) {
        Ref pair(capsule_from(column, "__arrow_c_array__"));
        if (!pair) return false;
        if (!PyTuple_Check(pair.get()) || PyTuple_Size(pair.get()) != 2) {
            PyErr_SetString(PyExc_TypeError, "__arrow_c_array__() must return a (schema, array) pair of capsules");
            return false;
        }
        if (!take_from_capsule(PyTuple_GetItem(pair.get(), 0), "arrow_schema", imported.schema())) return false;
        ArrowArray& array = imported.add();
        if (!take_from_capsule(PyTuple_GetItem(pair.get(), 1), "arrow_array", array)) return false;
        return !raise_read_fault(append_texts(imported.schema(), array, texts), imported.schema());
    }
    PyErr_SetString(PyExc_TypeError,
                    "identify_arrow() needs an Arrow column: an object with __arrow_c_stream__ or __arrow_c_array__");
    return false;
}

// The readings kept of one chunk of rows.
struct ChunkRows {
    std::vector<ReadingRow> rows;
    ReadOutcome outcome = ReadOutcome::Done;
};

void read_chunk_rows(const TextColumn& texts, std::size_t first, std::size_t count, std::size_t best,
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
    read_texts(present, best, readings);
    out.outcome = readings.outcome;
    if (readings.outcome != ReadOutcome::Done) return;
    try {
        out.rows.reserve(readings.readings.size());
        for (std::size_t t = 0; t < present.size(); ++t) {
            int32_t rank = 0;
            for (Candidate const& c : readings.of(t)) {
                out.rows.push_back(ReadingRow{present_rows[t], ++rank, c.format_id, c.label, c.instant.ns, c.rendered,
                                              c.score});
            }
        }
    } catch (...) {
        out.outcome = ReadOutcome::OutOfMemory;
    }
}

// The Python object identify_arrow returns: it owns nothing but a share of
// the columns, which outlive it as long as any exported array does.
struct ColumnsObject {
    PyObject_HEAD
    std::shared_ptr<const ReadingColumns>* columns;
};

void capsule_free_schema(PyObject* capsule) {
    auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, "arrow_schema"));
    if (schema == nullptr) return;
    if (schema->release != nullptr) schema->release(schema);
    delete schema;
}

void capsule_free_array(PyObject* capsule) {
    auto* array = static_cast<ArrowArray*>(PyCapsule_GetPointer(capsule, "arrow_array"));
    if (array == nullptr) return;
    if (array->release != nullptr) array->release(array);
    delete array;
}

void capsule_free_stream(PyObject* capsule) {
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
    if (stream == nullptr) return;
    if (stream->release != nullptr) stream->release(stream);
    delete stream;
}

// requested_schema is accepted and ignored: the interface lets a producer
// answer with its own schema, and this one has only one.
PyObject* columns_c_array(PyObject* self, PyObject* args, PyObject* kwargs) {
    PyObject* ignored = nullptr;
    static const char* names[] = {"requested_schema", nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_array__", const_cast<char**>(names), &ignored)) {
        return nullptr;
    }
    auto const& columns = *reinterpret_cast<ColumnsObject*>(self)->columns;
    std::unique_ptr<ArrowSchema> schema(new (std::nothrow) ArrowSchema{});
    std::unique_ptr<ArrowArray> array(new (std::nothrow) ArrowArray{});
    if (!schema || !array) return PyErr_NoMemory();
    try {
        export_schema(*columns, *schema);
        export_array(columns, *array);
    } catch (const std::bad_alloc&) {
        if (schema->release != nullptr) schema->release(schema.get());
        return PyErr_NoMemory();
    }
    Ref schema_capsule(PyCapsule_New(schema.get(), "arrow_schema", capsule_free_schema));
    if (!schema_capsule) {
        schema->release(schema.get());
        array->release(array.get());
        return nullptr;
    }
    schema.release();
    Ref array_capsule(PyCapsule_New(array.get(), "arrow_array", capsule_free_array));
    if (!array_capsule) {
        array->release(array.get());
        return nullptr;
    }
    array.release();
    return PyTuple_Pack(2, schema_capsule.get(), array_capsule.get());
}

PyObject* columns_c_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
    PyObject* ignored = nullptr;
    static const char* names[] = {"requested_schema", nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_stream__", const_cast<char**>(names), &ignored)) {
        return nullptr;
    }
    auto const& columns = *reinterpret_cast<ColumnsObject*>(self)->columns;
    std::unique_ptr<ArrowArrayStream> stream(new (std::nothrow) ArrowArrayStream{});
    if (!stream) return PyErr_NoMemory();
    try {
        export_stream(columns, *stream);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    PyObject* capsule = PyCapsule_New(stream.get(), "arrow_array_stream", capsule_free_stream);
    if (capsule == nullptr) {
        stream->release(stream.get());
        return nullptr;
    }
    stream.release();
    return capsule;
}

Py_ssize_t columns_length(PyObject* self) {
    return static_cast<Py_ssize_t>(row_count(**reinterpret_cast<ColumnsObject*>(self)->columns));
}

void columns_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<ColumnsObject*>(self)->columns;
    auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

template <class F>
PyCFunction as_cfunction(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef COLUMNS_METHODS[] = {
    {"__arrow_c_array__", as_cfunction(columns_c_array), METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_array__($self, /, requested_schema=None)\n--\n\nThe readings as (schema, array) PyCapsules."},
    {"__arrow_c_stream__", as_cfunction(columns_c_stream), METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_stream__($self, /, requested_schema=None)\n--\n\nThe readings as an ArrowArrayStream PyCapsule."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot COLUMNS_SLOTS[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(columns_dealloc)},
    {Py_tp_methods, COLUMNS_METHODS},
    {Py_mp_length, reinterpret_cast<void*>(columns_length)},
    {Py_tp_doc, const_cast<char*>("Readings of an Arrow string column, exported through the Arrow PyCapsule interface.")},
    {0, nullptr},
};

PyType_Spec COLUMNS_SPEC = {
    .name = "epochsift.ReadingColumns",
    .basicsize = sizeof(ColumnsObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT,
    .slots = COLUMNS_SLOTS,
};

PyObject* wrap_columns(PyObject* module, std::shared_ptr<const ReadingColumns> columns) {
    Ref type(PyObject_GetAttrString(module, "ReadingColumns"));
    if (!type) return nullptr;
    if (!PyType_Check(type.get()) ||
        PyType_GetSlot(reinterpret_cast<PyTypeObject*>(type.get()), Py_tp_dealloc) !=
            reinterpret_cast<void*>(columns_dealloc)) {
        PyErr_SetString(PyExc_TypeError, "epochsift.ReadingColumns was replaced");
        return nullptr;
    }
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(reinterpret_cast<PyTypeObject*>(type.get()), Py_tp_alloc));
    PyObject* self = alloc(reinterpret_cast<PyTypeObject*>(type.get()), 0);
    if (self == nullptr) return nullptr;
    auto* held = new (std::nothrow) std::shared_ptr<const ReadingColumns>(std::move(columns));
    if (held == nullptr) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    reinterpret_cast<ColumnsObject*>(self)->columns = held;
    return self;
}

}  // namespace

int add_arrow_types(PyObject* module) {
    PyObject* type = PyType_FromSpec(&COLUMNS_SPEC);
    if (type == nullptr) return -1;
    if (PyModule_AddObject(module, "ReadingColumns", type) != 0) {
        Py_DECREF(type);
        return -1;
    }
    return 0;
}

PyObject* identify_arrow(PyObject* module, PyObject* args, PyObject* kwargs) {
    BatchKeywords keywords;
    PyObject* column = bind_batch("identify_arrow", args, kwargs, 1, keywords);
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
                read_chunk_rows(texts, plan.first(chunk), plan.length(chunk), best, read[chunk]);
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
