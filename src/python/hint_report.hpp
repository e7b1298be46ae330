// hint_words(text): what the extended reading makes of a hint, word by word,
// so a notebook user can see which words implied a format and which did not.
#pragma once

#include "python/py_ref.hpp"

namespace epochsift::python {

PyObject* hint_words(PyObject* module, PyObject* args, PyObject* kwargs);

extern const char* const HINT_WORDS_DOC;

}  // namespace epochsift::python
