#include "python/hint_report.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "engine/hint_words.hpp"
#include "python/guarded.hpp"

namespace epochsift::python {

namespace {

PyObject* text_object(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// Appends a new reference to list; false with an exception set on failure.
bool append(PyObject* list, PyObject* item) {
    if (item == nullptr) return false;
    int const failed = PyList_Append(list, item);
    Py_DECREF(item);
    return failed == 0;
}

}  // namespace

const char* const HINT_WORDS_DOC =
    "hint_words(hint)\n"
    "--\n"
    "\n"
    "What the extended reading makes of a hint: a dict with 'matched' (each word\n"
    "that implies formats, with their format ids), 'generic' (words that say\n"
    "nothing about the format, such as 'date' or 'id') and 'unmatched' (words\n"
    "the vocabulary does not know; they change no score).";

PyObject* hint_words(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"hint", nullptr};
    PyObject* hint = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U:hint_words", const_cast<char**>(keywords), &hint)) {
        return nullptr;
    }
    PyObject* const bytes = PyUnicode_AsUTF8String(hint);
    if (bytes == nullptr) return nullptr;
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes, &data, &size) != 0) {
        Py_DECREF(bytes);
        return nullptr;
    }
    std::string const text(data, static_cast<std::size_t>(size));
    Py_DECREF(bytes);
    std::vector<HintWord> words;
    EngineOutcome const outcome = guarded([&] { words = epochsift::hint_words(text); });
    if (outcome != EngineOutcome::Done) return raise_outcome(outcome);

    PyObject* const matched = PyDict_New();
    PyObject* const generic = PyList_New(0);
    PyObject* const unmatched = PyList_New(0);
    PyObject* result = nullptr;
    bool ok = matched != nullptr && generic != nullptr && unmatched != nullptr;
    for (std::size_t i = 0; ok && i < words.size(); ++i) {
        HintWord const& word = words[i];
        if (word.generic) {
            ok = append(generic, text_object(word.word));
        } else if (word.families.empty()) {
            ok = append(unmatched, text_object(word.word));
        } else {
            PyObject* const ids = PyList_New(0);
            ok = ids != nullptr;
            for (std::size_t f = 0; ok && f < word.families.size(); ++f) ok = append(ids, text_object(word.families[f]->id));
            PyObject* const key = ok ? text_object(word.word) : nullptr;
            ok = ok && key != nullptr && PyDict_SetItem(matched, key, ids) == 0;
            Py_XDECREF(key);
            Py_XDECREF(ids);
        }
    }
    if (ok) {
        result = PyDict_New();
        ok = result != nullptr && PyDict_SetItemString(result, "matched", matched) == 0 &&
             PyDict_SetItemString(result, "generic", generic) == 0 &&
             PyDict_SetItemString(result, "unmatched", unmatched) == 0;
        if (!ok) Py_CLEAR(result);
    }
    Py_XDECREF(matched);
    Py_XDECREF(generic);
    Py_XDECREF(unmatched);
    return result;
}

}  // namespace epochsift::python
