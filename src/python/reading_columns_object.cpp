#include "python/reading_columns_object.hpp"

#include <array>
#include <new>

namespace epochsift::python {

namespace {

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

}  // namespace

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


int add_reading_columns_type(PyObject* module) {
    PyObject* type = PyType_FromSpec(&COLUMNS_SPEC);
    if (type == nullptr) return -1;
    if (PyModule_AddObject(module, "ReadingColumns", type) != 0) {
        Py_DECREF(type);
        return -1;
    }
    return 0;
}

}  // namespace epochsift::python
