#include "python/scan_functions.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/scan_buffer.hpp"
#include "output/scan_hits.hpp"
#include "python/arrow_columns_type.hpp"
#include "python/call_options.hpp"
#include "python/scan_columns.hpp"

namespace epochsift::python {

const char* const SCAN_DOC =
    "scan(data, *, window=None, widths=None, formats=None, best=None, extended=True, all=False, threads=None)\n"
    "--\n"
    "\n"
    "The timestamps stored in raw bytes (bytes, bytearray, memoryview, mmap or any\n"
    "buffer): every offset is read at the widths the families and binary records\n"
    "store, in both byte orders, and each decoding whose instant falls in the\n"
    "window (default: each family's plausible era) is scored with the evidence\n"
    "real timestamps carry (alignment, neighbouring fields and records, typical\n"
    "high bytes, the family's prior). Returns the hits worth showing as dicts by\n"
    "offset: offset, width, order, format_id, label, instant (ns since 1970 UTC),\n"
    "rendered, confidence (0 to 1; shown from 0.5), record (offset of the first\n"
    "hit of its record), local and evidence. best=K keeps the K most confident,\n"
    "best first; all=True returns every raw hit. widths and formats (lists of\n"
    "byte counts and format ids) narrow the search; extended=False reads the\n"
    "reference families only.";

const char* const SCAN_ARROW_DOC =
    "scan_arrow(data, *, window=None, widths=None, formats=None, best=None, extended=True, all=False, threads=None)\n"
    "--\n"
    "\n"
    "scan() as an Arrow struct column (through __arrow_c_stream__ and\n"
    "__arrow_c_array__): offset, width, order, format_id, label, instant\n"
    "(timestamp[ns, UTC]), rendered, confidence, record and local, one row a hit.";

namespace {

// The bytes of `data` for the length of one call. bytes are read in place;
// on CPython 3.11 and later, so is any object with the buffer protocol (its
// export keeps a bytearray from resizing while the engine reads it without
// the GIL). Before 3.11 the limited API has no buffer access, so other
// objects are copied once.
struct BufferView {
    // Py_buffer as the stable ABI defines it from 3.11 (unchanged since 3.0).
    struct StableBuffer {
        void* buf;
        PyObject* obj;
        Py_ssize_t len;
        Py_ssize_t itemsize;
        int readonly;
        int ndim;
        char* format;
        Py_ssize_t* shape;
        Py_ssize_t* strides;
        Py_ssize_t* suboffsets;
        void* internal;
    };
    StableBuffer view{};
    bool exported = false;
    Ref copy;
    const uint8_t* data = nullptr;
    std::size_t size = 0;

    ~BufferView();
};

}  // namespace
}  // namespace epochsift::python

// Stable ABI from 3.11; called only when the running interpreter is one.
extern "C" int PyObject_GetBuffer(PyObject*, void*, int);
extern "C" void PyBuffer_Release(void*);

namespace epochsift::python {
namespace {

BufferView::~BufferView() {
    if (exported) PyBuffer_Release(&view);
}

bool interpreter_at_least_3_11() {
    const char* version = Py_GetVersion();
    int major = 0, minor = 0;
    for (; *version >= '0' && *version <= '9'; ++version) major = major * 10 + (*version - '0');
    if (*version++ != '.') return false;
    for (; *version >= '0' && *version <= '9'; ++version) minor = minor * 10 + (*version - '0');
    return major > 3 || (major == 3 && minor >= 11);
}

bool view_of(const char* function, PyObject* data, BufferView& out) {
    if (PyBytes_Check(data)) {
        char* bytes = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(data, &bytes, &size) != 0) return false;
        out.data = reinterpret_cast<const uint8_t*>(bytes);
        out.size = static_cast<std::size_t>(size);
        return true;
    }
    if (interpreter_at_least_3_11()) {
        if (PyObject_GetBuffer(data, &out.view, 0 /* PyBUF_SIMPLE */) != 0) {
            PyErr_Clear();
            fail_type(function, "data", "bytes or an object with the buffer protocol", data);
            return false;
        }
        out.exported = true;
        if (out.view.len < 0) {
            PyErr_SetString(PyExc_ValueError, "scan(): the buffer has a negative length");
            return false;
        }
        out.data = static_cast<const uint8_t*>(out.view.buf);
        out.size = static_cast<std::size_t>(out.view.len);
        return true;
    }
    out.copy = Ref(PyBytes_FromObject(data));
    if (!out.copy) {
        PyErr_Clear();
        fail_type(function, "data", "bytes or an object with the buffer protocol", data);
        return false;
    }
    char* bytes = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(out.copy.get(), &bytes, &size) != 0) return false;
    out.data = reinterpret_cast<const uint8_t*>(bytes);
    out.size = static_cast<std::size_t>(size);
    return true;
}

struct ScanCall {
    ScanRequest request;
    std::vector<std::string> formats;
    std::optional<std::size_t> best;
    bool all = false;
    unsigned threads = 0;
};

// A list of str or of int, item by item. False with an exception set.
bool read_list(const char* function, const char* name, PyObject* value, bool of_text, ScanCall& call) {
    if (value == nullptr || value == Py_None) return true;
    if (PyUnicode_Check(value) || PyBytes_Check(value)) {
        fail_type(function, name, of_text ? "a list of str" : "a list of int", value);
        return false;
    }
    Ref items(PySequence_List(value));
    if (!items) {
        PyErr_Clear();
        fail_type(function, name, of_text ? "a list of str" : "a list of int", value);
        return false;
    }
    Py_ssize_t const n = PyList_Size(items.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyList_GetItem(items.get(), i);
        if (of_text) {
            if (!PyUnicode_Check(item)) return fail_type(function, name, "a list of str", item);
            Ref utf8(PyUnicode_AsUTF8String(item));
            if (!utf8) return false;
            call.formats.emplace_back(PyBytes_AsString(utf8.get()), static_cast<std::size_t>(PyBytes_Size(utf8.get())));
        } else {
            if (!PyLong_Check(item) || PyBool_Check(item)) return fail_type(function, name, "a list of int", item);
            long const width = PyLong_AsLong(item);
            if (width == -1 && PyErr_Occurred()) return false;
            if (width < 1 || width > 16) {
                PyErr_Format(PyExc_ValueError, "%s() widths are 1 to 16 bytes, not %ld", function, width);
                return false;
            }
            call.request.widths.push_back(static_cast<uint8_t>(width));
        }
    }
    return true;
}

// Parses scan's arguments; the data, or null with an exception set.
PyObject* parse(const char* function, PyObject* args, PyObject* kwargs, ScanCall& call) {
    static const char* names[] = {"data", "window", "widths", "formats", "best", "extended", "all", "threads", nullptr};
    PyObject* data = nullptr;
    PyObject* window = Py_None;
    PyObject* widths = Py_None;
    PyObject* formats = Py_None;
    PyObject* best = Py_None;
    int extended = 1;
    int all = 0;
    PyObject* threads = Py_None;
    std::string const spec = std::string("O|$OOOOppO:") + function;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, spec.c_str(), const_cast<char**>(names), &data, &window, &widths,
                                     &formats, &best, &extended, &all, &threads)) {
        return nullptr;
    }
    if (window != Py_None) {
        CallOptions options;
        Ref key(PyUnicode_FromString("window"));
        if (!key || bind_option(function, OPT_WINDOW, key.get(), window, options) < 0) return nullptr;
        finish_options(options);
        call.request.window = options.read.window;
    }
    if (!read_list(function, "widths", widths, false, call) || !read_list(function, "formats", formats, true, call)) {
        return nullptr;
    }
    for (std::string const& f : call.formats) call.request.formats.push_back(f);
    call.request.reference_only = !extended;
    for (auto [value, name] : {std::pair{best, "best"}, std::pair{threads, "threads"}}) {
        if (value == Py_None) continue;
        if (!PyLong_Check(value) || PyBool_Check(value)) {
            fail_type(function, name, "int", value);
            return nullptr;
        }
        long long const n = PyLong_AsLongLong(value);
        if (n == -1 && PyErr_Occurred()) return nullptr;
        if (n < 1) {
            PyErr_Format(PyExc_ValueError, "%s() argument '%s' must be at least 1, not %lld", function, name, n);
            return nullptr;
        }
        if (name[0] == 'b') call.best = static_cast<std::size_t>(n);
        else call.threads = static_cast<unsigned>(std::min<long long>(n, 4096));
    }
    call.all = all != 0;
    if (call.threads == 0) call.threads = std::max(1u, std::thread::hardware_concurrency());
    return data;
}

// The hits of one call, or false with an exception set.
bool run_scan(const char* function, PyObject* args, PyObject* kwargs, ScanCall& call, std::optional<ScanPlan>& plan,
              std::vector<ScanHit>& hits) {
    PyObject* data = parse(function, args, kwargs, call);
    if (data == nullptr) return false;
    ScanPlanResult planned = make_scan_plan(call.request);
    if (!planned.plan) {
        switch (planned.error) {
        case ScanPlanError::UnknownFormat:
            PyErr_Format(PyExc_ValueError, "%s(): no format %R", function,
                         Ref(PyUnicode_FromStringAndSize(planned.offending.data(),
                                                         static_cast<Py_ssize_t>(planned.offending.size())))
                             .get());
            break;
        case ScanPlanError::BadWidth:
            PyErr_Format(PyExc_ValueError, "%s(): no family or record is stored at one of the widths given", function);
            break;
        case ScanPlanError::EmptyWindow:
            PyErr_Format(PyExc_ValueError, "%s(): the window's start must come before its end", function);
            break;
        case ScanPlanError::NothingToScan:
            PyErr_Format(PyExc_ValueError, "%s(): the formats and widths given leave nothing to scan", function);
            break;
        }
        return false;
    }
    plan = std::move(planned.plan);
    BufferView view;
    if (!view_of(function, data, view)) return false;
    bool failed = false;
    Py_BEGIN_ALLOW_THREADS
    try {
        hits = scan_buffer(*plan, std::span<const uint8_t>(view.data, view.size), call.all, call.threads);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    Py_END_ALLOW_THREADS
    if (failed) {
        PyErr_NoMemory();
        return false;
    }
    if (!call.all) std::erase_if(hits, [](ScanHit const& h) { return !h.shown; });
    if (call.best) {
        std::stable_sort(hits.begin(), hits.end(), [](ScanHit const& a, ScanHit const& b) { return a.bits > b.bits; });
        if (hits.size() > *call.best) hits.resize(*call.best);
    }
    return true;
}

PyObject* none() {
    Py_INCREF(Py_None);
    return Py_None;
}

PyObject* text(std::string_view t) { return PyUnicode_FromStringAndSize(t.data(), static_cast<Py_ssize_t>(t.size())); }

// One hit as a dict, its keys in field order.
PyObject* hit_dict(const ScanRow& row, const std::vector<Ref>& keys) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    for (std::size_t f = 0; f < SCAN_FIELD_COUNT; ++f) {
        Ref value;
        switch (static_cast<ScanField>(f)) {
        case ScanField::Offset: value = Ref(PyLong_FromUnsignedLongLong(row.offset)); break;
        case ScanField::Width: value = Ref(PyLong_FromLong(row.width)); break;
        case ScanField::Order:
            value = Ref(row.order ? text(*row.order) : none());
            break;
        case ScanField::FormatId: value = Ref(text(row.format_id)); break;
        case ScanField::Label: value = Ref(text(row.label)); break;
        case ScanField::Instant: value = Ref(PyLong_FromLongLong(static_cast<long long>(row.instant.ns))); break;
        case ScanField::Rendered:
            value = Ref(row.rendered ? text(row.rendered->view()) : none());
            break;
        case ScanField::Confidence: value = Ref(PyFloat_FromDouble(row.confidence)); break;
        case ScanField::Record: value = Ref(PyLong_FromUnsignedLongLong(row.record)); break;
        case ScanField::Local: value = Ref(PyBool_FromLong(row.local ? 1 : 0)); break;
        case ScanField::Evidence: {
            value = Ref(PyList_New(static_cast<Py_ssize_t>(SCAN_EVIDENCE_COUNT)));
            if (!value) return nullptr;
            for (std::size_t e = 0; e < SCAN_EVIDENCE_COUNT; ++e) {
                PyObject* pair = Py_BuildValue("[Nd]", text(SCAN_EVIDENCE_NAMES[e]), static_cast<double>(row.evidence[e]));
                if (pair == nullptr) return nullptr;
                PyList_SetItem(value.get(), static_cast<Py_ssize_t>(e), pair);
            }
            break;
        }
        }
        if (!value || PyDict_SetItem(dict.get(), keys[f].get(), value.get()) != 0) return nullptr;
    }
    return dict.release();
}

struct ScanExport {
    using Columns = ScanColumns;
    static constexpr const char* NAME = "epochsift.ScanColumns";
    static constexpr const char* ATTRIBUTE = "ScanColumns";
    static constexpr const char* DOC = "A blob scan's hits, exported through the Arrow PyCapsule interface.";
    static constexpr const char* ARRAY_DOC =
        "__arrow_c_array__($self, /, requested_schema=None)\n--\n\nThe hits as (schema, array) PyCapsules.";
    static constexpr const char* STREAM_DOC =
        "__arrow_c_stream__($self, /, requested_schema=None)\n--\n\nThe hits as an ArrowArrayStream PyCapsule.";
    static void schema(const Columns& columns, ArrowSchema& out) { export_scan_schema(columns, out); }
    static void array(const std::shared_ptr<const Columns>& columns, ArrowArray& out) {
        export_scan_array(columns, out);
    }
    static void stream(const std::shared_ptr<const Columns>& columns, ArrowArrayStream& out) {
        export_scan_stream(columns, out);
    }
    static int64_t rows(const Columns& columns) { return scan_row_count(columns); }
};

using ScanColumnsType = ArrowColumnsType<ScanExport>;

}  // namespace

PyObject* scan(PyObject*, PyObject* args, PyObject* kwargs) {
    ScanCall call;
    std::optional<ScanPlan> plan;
    std::vector<ScanHit> hits;
    if (!run_scan("scan", args, kwargs, call, plan, hits)) return nullptr;
    std::vector<Ref> keys;
    for (std::string_view name : SCAN_FIELD_NAMES) {
        keys.emplace_back(text(name));
        if (!keys.back()) return nullptr;
    }
    Ref list(PyList_New(static_cast<Py_ssize_t>(hits.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        PyObject* dict = hit_dict(scan_row(*plan, hits[i]), keys);
        if (dict == nullptr) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), dict);
    }
    return list.release();
}

PyObject* scan_arrow(PyObject* module, PyObject* args, PyObject* kwargs) {
    ScanCall call;
    std::optional<ScanPlan> plan;
    std::vector<ScanHit> hits;
    if (!run_scan("scan_arrow", args, kwargs, call, plan, hits)) return nullptr;
    std::shared_ptr<const ScanColumns> columns;
    try {
        columns = build_scan_columns(*plan, hits);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return ScanColumnsType::wrap(module, std::move(columns));
}

int add_scan_types(PyObject* module) { return ScanColumnsType::add(module); }

}  // namespace epochsift::python
