/* An application embedding CPython imports epochsift where embedders do:
 * in a sub-interpreter before the main interpreter has, in the main
 * interpreter, in a sub-interpreter again, and after Py_Finalize and a
 * second Py_Initialize. Each attempt prints one line: where, then
 * "ImportError", the first reading's format_id, or the exception's type. */
#include <Python.h>

static int attempt(const char* where) {
    char code[1024];
    PyOS_snprintf(code, sizeof code,
                  "try:\n"
                  "    import epochsift\n"
                  "    outcome = epochsift.identify('1700000000')[0]['format_id']\n"
                  "except ImportError:\n"
                  "    outcome = 'ImportError'\n"
                  "except Exception as error:\n"
                  "    outcome = type(error).__name__\n"
                  "print('%s', outcome, flush=True)\n",
                  where);
    return PyRun_SimpleString(code);
}

static int attempt_in_sub_interpreter(const char* where) {
    PyThreadState* main_thread = PyThreadState_Get();
    PyThreadState* sub = Py_NewInterpreter();
    if (sub == NULL) return -1;
    int const failed = attempt(where);
    Py_EndInterpreter(sub);
    PyThreadState_Swap(main_thread);
    return failed;
}

int main(void) {
    Py_Initialize();
    if (attempt_in_sub_interpreter("sub-first") != 0 || attempt("main") != 0 ||
        attempt_in_sub_interpreter("sub-after") != 0) {
        return 1;
    }
    if (Py_FinalizeEx() != 0) return 2;
    Py_Initialize();
    if (attempt("reinitialised") != 0) return 3;
    return Py_FinalizeEx() != 0 ? 4 : 0;
}
