// A Python type whose objects hold a share of exported columns and hand them
// out through the Arrow PyCapsule interface (__arrow_c_array__,
// __arrow_c_stream__, len()). Export names the columns' type, its export
// functions, and the type's name and texts; one instantiation per result
// type (identify_arrow's readings, scan_arrow's hits).
#pragma once

#include <memory>
#include <new>

#include "python/arrow_abi.hpp"
#include "python/py_ref.hpp"

namespace epochsift::python {

namespace arrow_capsules {

inline void free_schema(PyObject* capsule) {
    auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, "arrow_schema"));
    if (schema == nullptr) return;
    if (schema->release != nullptr) schema->release(schema);
    delete schema;
}

inline void free_array(PyObject* capsule) {
    auto* array = static_cast<ArrowArray*>(PyCapsule_GetPointer(capsule, "arrow_array"));
    if (array == nullptr) return;
    if (array->release != nullptr) array->release(array);
    delete array;
}

inline void free_stream(PyObject* capsule) {
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
    if (stream == nullptr) return;
    if (stream->release != nullptr) stream->release(stream);
    delete stream;
}

}  // namespace arrow_capsules

// Export provides: Columns; schema(const Columns&, ArrowSchema&),
// array(const shared_ptr<const Columns>&, ArrowArray&), stream(same,
// ArrowArrayStream&) (each throws std::bad_alloc only); rows(const
// Columns&); and the texts NAME ("epochsift.X"), ATTRIBUTE ("X"), DOC,
// ARRAY_DOC and STREAM_DOC.
template <class Export>
class ArrowColumnsType {
public:
    using Columns = typename Export::Columns;

    // Adds the type to the module as Export::ATTRIBUTE; -1 with an exception set.
    static int add(PyObject* module) {
        PyObject* type = PyType_FromSpec(&SPEC);
        if (type == nullptr) return -1;
        if (PyModule_AddObject(module, Export::ATTRIBUTE, type) != 0) {
            Py_DECREF(type);
            return -1;
        }
        return 0;
    }

    // A new object of the module's type, or null with an exception set.
    static PyObject* wrap(PyObject* module, std::shared_ptr<const Columns> columns) {
        Ref type(PyObject_GetAttrString(module, Export::ATTRIBUTE));
        if (!type) return nullptr;
        auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
        if (!PyType_Check(type.get()) ||
            PyType_GetSlot(type_object, Py_tp_dealloc) != reinterpret_cast<void*>(dealloc)) {
            PyErr_Format(PyExc_TypeError, "%s was replaced", Export::NAME);
            return nullptr;
        }
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type_object, Py_tp_alloc));
        PyObject* self = alloc(type_object, 0);
        if (self == nullptr) return nullptr;
        auto* held = new (std::nothrow) std::shared_ptr<const Columns>(std::move(columns));
        if (held == nullptr) {
            Py_DECREF(self);
            return PyErr_NoMemory();
        }
        reinterpret_cast<Object*>(self)->columns = held;
        return self;
    }

private:
    // It owns nothing but a share of the columns, which outlive it as long
    // as any exported array does.
    struct Object {
        PyObject_HEAD
        std::shared_ptr<const Columns>* columns;
    };

    static const std::shared_ptr<const Columns>& columns_of(PyObject* self) {
        return *reinterpret_cast<Object*>(self)->columns;
    }

    static bool no_schema_requested(PyObject* args, PyObject* kwargs, const char* format) {
        // requested_schema is accepted and ignored: the interface lets a
        // producer answer with its own schema, and this one has only one.
        PyObject* ignored = nullptr;
        static const char* names[] = {"requested_schema", nullptr};
        return PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(names), &ignored) != 0;
    }

    static PyObject* c_array(PyObject* self, PyObject* args, PyObject* kwargs) {
        if (!no_schema_requested(args, kwargs, "|O:__arrow_c_array__")) return nullptr;
        auto const& columns = columns_of(self);
        std::unique_ptr<ArrowSchema> schema(new (std::nothrow) ArrowSchema{});
        std::unique_ptr<ArrowArray> array(new (std::nothrow) ArrowArray{});
        if (!schema || !array) return PyErr_NoMemory();
        try {
            Export::schema(*columns, *schema);
            Export::array(columns, *array);
        } catch (const std::bad_alloc&) {
            if (schema->release != nullptr) schema->release(schema.get());
            return PyErr_NoMemory();
        }
        Ref schema_capsule(PyCapsule_New(schema.get(), "arrow_schema", arrow_capsules::free_schema));
        if (!schema_capsule) {
            schema->release(schema.get());
            array->release(array.get());
            return nullptr;
        }
        schema.release();
        Ref array_capsule(PyCapsule_New(array.get(), "arrow_array", arrow_capsules::free_array));
        if (!array_capsule) {
            array->release(array.get());
            return nullptr;
        }
        array.release();
        return PyTuple_Pack(2, schema_capsule.get(), array_capsule.get());
    }

    static PyObject* c_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
        if (!no_schema_requested(args, kwargs, "|O:__arrow_c_stream__")) return nullptr;
        std::unique_ptr<ArrowArrayStream> stream(new (std::nothrow) ArrowArrayStream{});
        if (!stream) return PyErr_NoMemory();
        try {
            Export::stream(columns_of(self), *stream);
        } catch (const std::bad_alloc&) {
            return PyErr_NoMemory();
        }
        PyObject* capsule = PyCapsule_New(stream.get(), "arrow_array_stream", arrow_capsules::free_stream);
        if (capsule == nullptr) {
            stream->release(stream.get());
            return nullptr;
        }
        stream.release();
        return capsule;
    }

    static Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(Export::rows(*columns_of(self))); }

    static void dealloc(PyObject* self) {
        PyTypeObject* type = Py_TYPE(self);
        delete reinterpret_cast<Object*>(self)->columns;
        auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_slot(self);
        Py_DECREF(type);
    }

    template <class F>
    static PyCFunction as_cfunction(F f) {
        return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
    }

    static inline PyMethodDef METHODS[] = {
        {"__arrow_c_array__", as_cfunction(c_array), METH_VARARGS | METH_KEYWORDS, Export::ARRAY_DOC},
        {"__arrow_c_stream__", as_cfunction(c_stream), METH_VARARGS | METH_KEYWORDS, Export::STREAM_DOC},
        {nullptr, nullptr, 0, nullptr},
    };

    static inline PyType_Slot SLOTS[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_methods, METHODS},
        {Py_mp_length, reinterpret_cast<void*>(length)},
        {Py_tp_doc, const_cast<char*>(Export::DOC)},
        {0, nullptr},
    };

    static inline PyType_Spec SPEC = {
        .name = Export::NAME,
        .basicsize = sizeof(Object),
        .itemsize = 0,
        .flags = Py_TPFLAGS_DEFAULT,
        .slots = SLOTS,
    };
};

}  // namespace epochsift::python
