#include "python/text_items.hpp"

#include <cstdio>
#include <new>

#include "python/value_text.hpp"

namespace epochsift::python {

namespace {

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

// The item's UTF-8 bytes, or null with its error set.
PyObject* item_utf8(const char* function, PyObject* item, Py_ssize_t index, ItemErrors errors) {
    bool const is_str = PyType_GetFlags(Py_TYPE(item)) & Py_TPFLAGS_UNICODE_SUBCLASS;
    if (!is_str) {
        // A column read from CSV by pandas or Polars holds its numbers as
        // integers: they are read as their decimal text.
        PyObject* digits = integer_utf8_of(item);
        if (digits != nullptr || PyErr_Occurred()) return digits;
    }
    if (errors == ItemErrors::AsValue) return utf8_of(item);
    if (!is_str) {
        char what[96];  // the error's text, only when there is one
        std::snprintf(what, sizeof what, "%s() item %zd", function, index);
        return utf8_of(item, what);
    }
    PyObject* utf8 = PyUnicode_AsUTF8String(item);
    if (utf8 == nullptr && PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) name_index_in_encode_error(index);
    return utf8;
}

}  // namespace

bool collect_text_items(const char* function, PyObject* values, ItemErrors errors, TextItems& items) {
    Ref iterator(PyObject_GetIter(values));
    if (!iterator) return false;
    try {
        std::vector<std::size_t> ends;
        Py_ssize_t index = 0;
        while (PyObject* raw = PyIter_Next(iterator.get())) {
            Ref item(raw);
            Ref utf8(item_utf8(function, item.get(), index++, errors));
            if (!utf8) return false;
            char* data = PyBytes_AsString(utf8.get());
            Py_ssize_t const size = PyBytes_Size(utf8.get());
            if (data == nullptr || size < 0) return false;
            items.bytes.append(data, static_cast<std::size_t>(size));
            ends.push_back(items.bytes.size());
        }
        if (PyErr_Occurred()) return false;
        items.views.reserve(ends.size());
        std::size_t begin = 0;
        for (std::size_t const end : ends) {
            items.views.emplace_back(items.bytes.data() + begin, end - begin);
            begin = end;
        }
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

}  // namespace epochsift::python
