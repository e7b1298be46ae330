#include "python/reading_objects.hpp"

#include <bit>
#include <cmath>
#include <limits>
#include <new>

#include "output/reading_json.hpp"
#include "output/reading_text.hpp"
#include "output/zoned_json.hpp"

namespace epochsift::python {

namespace {

// The members in the order the JSON text writes them.
constexpr auto const& KEY_NAMES = READING_FIELD_NAMES;
enum Key : std::size_t { FormatId, Label, Citation, Instant, Rendered, Score, Confidence, Components, Assumptions, Sentinel };
static_assert(KEY_NAMES[Confidence] == field_name(ReadingField::Confidence));
static_assert(KEY_NAMES[Sentinel] == field_name(ReadingField::Sentinel) && KEY_NAMES.size() == Sentinel + 1);

PyObject* new_ref(PyObject* object) {
    Py_INCREF(object);
    return object;
}

PyObject* new_ref_or_null(PyObject* object) {
    Py_XINCREF(object);
    return object;
}

PyObject* new_text(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Steals item (which may be null after a failed call) into dict[key].
bool set_stolen(PyObject* dict, PyObject* key, PyObject* item) {
    Ref owned(item);
    return owned && PyDict_SetItem(dict, key, owned.get()) == 0;
}

bool set_borrowed(PyObject* dict, PyObject* key, PyObject* item) {
    return item != nullptr && PyDict_SetItem(dict, key, item) == 0;
}

enum GcFunction : std::size_t { GcIsEnabled, GcDisable, GcEnable };

// build() with the cycle collector held off, when it was on. A value's
// readings are up to a thousand new lists and dicts, none in a cycle and all
// alive until returned: a collection their count starts midway would walk
// them and free nothing. Their count stands, so the collector runs at the
// next allocation after, as it would have.
template <class Build>
PyObject* with_collector_held(const std::array<PyObject*, 3>& gc, Build&& build) {
    Ref enabled(PyObject_CallNoArgs(gc[GcIsEnabled]));
    if (!enabled) return nullptr;
    if (enabled.get() != Py_True) return build();
    Ref disabled(PyObject_CallNoArgs(gc[GcDisable]));
    if (!disabled) return nullptr;
    Ref built(build());
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);  // build's error, if any, outlives the call below
    Ref restored(PyObject_CallNoArgs(gc[GcEnable]));
    if (!restored) {
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
        return nullptr;
    }
    PyErr_Restore(type, value, traceback);
    return built.release();
}

}  // namespace

ReadingBoxer* ReadingBoxer::create() {
    ReadingBoxer* boxer = new (std::nothrow) ReadingBoxer();
    if (boxer == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    for (std::size_t i = 0; i < KEY_COUNT; ++i) {
        boxer->keys_[i] = new_text(KEY_NAMES[i]);
        if (boxer->keys_[i] == nullptr) {
            delete boxer;
            return nullptr;
        }
        PyUnicode_InternInPlace(&boxer->keys_[i]);
    }
    // A dict of every key (the extended reading's) and one without the
    // extended-only keys (the reference reading's): copying one gives a
    // table already sized for all members, in their order, which SetItem
    // then fills without growing.
    for (bool const extended : {false, true}) {
        PyObject*& made = extended ? boxer->extended_template_ : boxer->template_;
        made = PyDict_New();
        if (made == nullptr) {
            delete boxer;
            return nullptr;
        }
        for (std::size_t i = 0; i < KEY_COUNT; ++i) {
            if (!extended && extended_only_field(static_cast<ReadingField>(i))) continue;
            if (PyDict_SetItem(made, boxer->keys_[i], Py_None) != 0) {
                delete boxer;
                return nullptr;
            }
        }
    }
    for (std::size_t i = 0; i < COMPONENT_COUNT; ++i) {
        boxer->component_names_[i] = new_text(component_name(static_cast<Component>(i)));
        if (boxer->component_names_[i] == nullptr) {
            delete boxer;
            return nullptr;
        }
    }
    Ref gc(PyImport_ImportModule("gc"));
    if (!gc) {
        delete boxer;
        return nullptr;
    }
    constexpr std::array<const char*, 3> GC_NAMES = {"isenabled", "disable", "enable"};
    for (std::size_t i = 0; i < GC_NAMES.size(); ++i) {
        boxer->gc_functions_[i] = PyObject_GetAttrString(gc.get(), GC_NAMES[i]);
        if (boxer->gc_functions_[i] == nullptr) {
            delete boxer;
            return nullptr;
        }
    }
    return boxer;
}

ReadingBoxer::~ReadingBoxer() {
    for (PyObject* key : keys_) Py_XDECREF(key);
    Py_XDECREF(template_);
    Py_XDECREF(extended_template_);
    for (PyObject* name : component_names_) Py_XDECREF(name);
    for (auto& [text, object] : texts_) Py_DECREF(object);
    for (FloatSlot& slot : floats_) Py_XDECREF(slot.object);
    for (PyObject* function : gc_functions_) Py_XDECREF(function);
    for (auto& pair : format_templates_) {
        for (PyObject* made : pair) Py_XDECREF(made);
    }
}

PyObject* ReadingBoxer::shared_text(std::string_view text) {
    try {
        auto found = texts_.find(text);
        if (found != texts_.end()) return found->second;
        PyObject* object = new_text(text);
        if (object == nullptr) return nullptr;
        texts_.emplace(std::string(text), object);
        return object;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

PyObject* ReadingBoxer::row_text(FormatRef format, RowText which) {
    PyObject*& slot = row_texts_[format.index()][static_cast<std::size_t>(which)];
    if (slot != nullptr) return slot;
    FormatFacts const& facts = catalog_entry(format);
    std::string_view const text = which == RowText::Id ? facts.id : which == RowText::Label ? facts.label : facts.citation;
    slot = shared_text(text);
    return slot;
}

PyObject* ReadingBoxer::joined_text(const NotePieces& note) {
    try {
        scratch_.clear();
        for (std::size_t i = 0; i < note.count; ++i) scratch_.append(note.parts[i]);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return shared_text(scratch_);
}

PyObject* ReadingBoxer::note_text(const Candidate& c, Note note) {
    PyObject** slot = nullptr;
    if (note == Note::ConsistentWith) {
        slot = &row_texts_[c.format.index()][static_cast<std::size_t>(RowText::ConsistentWith)];
    } else if (!constant_note_text(note).empty()) {
        slot = &constant_notes_[static_cast<std::size_t>(note)];
    } else if (note == Note::InputLayout && c.layout.width < LAYOUT_NOTE_WIDTHS) {
        InputLayout const& layout = c.layout;
        std::size_t const index = (static_cast<std::size_t>(layout.kind) * LAYOUT_NOTE_WIDTHS + layout.width) * 8 +
                                  (layout.order == ByteOrder::Little ? 4u : 0u) + (layout.order_moot ? 2u : 0u) +
                                  (layout.is_signed ? 1u : 0u);
        slot = &layout_notes_[index];
    }
    if (slot != nullptr && *slot != nullptr) return *slot;
    char digits[NOTE_DIGITS];
    PyObject* text = joined_text(note_pieces(c, note, digits));
    if (slot != nullptr) *slot = text;
    return text;
}

PyObject* ReadingBoxer::shared_float(double value) {
    // json.loads reads null for what the writer cannot spell as a number.
    if (!std::isfinite(value)) return Py_None;
    uint64_t const bits = std::bit_cast<uint64_t>(value);
    FloatSlot& slot = floats_[(bits * 0x9E37'79B9'7F4A'7C15u) >> 58];
    if (slot.object != nullptr && slot.bits == bits) return slot.object;
    PyObject* object = PyFloat_FromDouble(value);
    if (object == nullptr) return nullptr;
    Py_XDECREF(slot.object);
    slot = FloatSlot{bits, object};
    return object;
}

PyObject* ReadingBoxer::instant(i128 ns) {
    if (ns >= std::numeric_limits<long long>::min() && ns <= std::numeric_limits<long long>::max()) {
        return PyLong_FromLongLong(static_cast<long long>(ns));
    }
    // Past 64 bits: the exact decimal digits, as json.loads reads them.
    scratch_.clear();
    append_json_integer(scratch_, ns);
    return PyLong_FromString(scratch_.c_str(), nullptr, 10);
}

PyObject* ReadingBoxer::format_template(FormatRef format, bool extended) {
    PyObject*& slot = format_templates_[format.index()][extended ? 1 : 0];
    if (slot != nullptr) return slot;
    Ref made(PyDict_Copy(extended ? extended_template_ : template_));
    if (!made) return nullptr;
    PyObject* d = made.get();
    if (!set_borrowed(d, keys_[FormatId], row_text(format, RowText::Id))) return nullptr;
    if (!set_borrowed(d, keys_[Label], row_text(format, RowText::Label))) return nullptr;
    if (!set_borrowed(d, keys_[Citation], row_text(format, RowText::Citation))) return nullptr;
    if (!set_borrowed(d, keys_[Sentinel], Py_False)) return nullptr;
    slot = made.release();
    return slot;
}

PyObject* ReadingBoxer::reading(const Candidate& c) {
    // A copy of the format's own dict: its texts and the usual sentinel are
    // in place, so only the value's members are set.
    PyObject* const format_dict = format_template(c.format, c.has_confidence());
    if (format_dict == nullptr) return nullptr;
    Ref dict(PyDict_Copy(format_dict));
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!set_stolen(d, keys_[Instant], instant(c.instant.ns))) return nullptr;
    std::optional<RenderedText> const text = c.rendered();
    PyObject* rendered = text ? new_text(text->view()) : new_ref(Py_None);
    if (!set_stolen(d, keys_[Rendered], rendered)) return nullptr;
    if (!set_borrowed(d, keys_[Score], shared_float(c.score))) return nullptr;
    if (c.has_confidence()) {
        // Most readings of a value share a few confidences (0.0 above all).
        bool const shared = std::isfinite(c.confidence);
        PyObject* confidence = shared ? new_ref_or_null(shared_float(c.confidence)) : PyFloat_FromDouble(c.confidence);
        if (!set_stolen(d, keys_[Confidence], confidence)) return nullptr;
    }

    Ref components(PyList_New(static_cast<Py_ssize_t>(c.components.size())));
    if (!components) return nullptr;
    for (std::size_t i = 0; i < c.components.size(); ++i) {
        PyObject* value = shared_float(c.components[i].value);
        if (value == nullptr) return nullptr;
        PyObject* name = component_names_[static_cast<std::size_t>(c.components[i].kind)];
        PyObject* pair = PyList_New(2);
        if (pair == nullptr) return nullptr;
        PyList_SetItem(pair, 0, new_ref(name));
        PyList_SetItem(pair, 1, new_ref(value));
        PyList_SetItem(components.get(), static_cast<Py_ssize_t>(i), pair);
    }
    if (!set_borrowed(d, keys_[Components], components.get())) return nullptr;

    Ref assumptions(PyList_New(static_cast<Py_ssize_t>(c.notes.size())));
    if (!assumptions) return nullptr;
    bool failed = false;
    Py_ssize_t at = 0;
    c.notes.for_each([&](Note note) {
        if (failed) return;
        PyObject* text = note_text(c, note);
        failed = text == nullptr;
        if (!failed) PyList_SetItem(assumptions.get(), at++, new_ref(text));
    });
    if (failed || !set_borrowed(d, keys_[Assumptions], assumptions.get())) return nullptr;
    if (c.facts.sentinel && !set_borrowed(d, keys_[Sentinel], Py_True)) return nullptr;
    return dict.release();
}

PyObject* ReadingBoxer::local_time(const LocalTime& local, std::string_view zone) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    std::optional<std::string> time;
    try {
        time = local_time_text(local);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    if (!set_borrowed(d, shared_text("zone"), shared_text(zone))) return nullptr;
    if (time) {
        if (!set_stolen(d, shared_text("time"), new_text(*time))) return nullptr;
    } else if (!set_borrowed(d, shared_text("time"), Py_None)) {
        return nullptr;
    }
    if (!set_stolen(d, shared_text("offset_seconds"), PyLong_FromLong(local.offset_seconds))) return nullptr;
    if (!set_borrowed(d, shared_text("abbreviation"), shared_text(local.abbreviation))) return nullptr;
    if (!time && !set_borrowed(d, shared_text("time_note"), shared_text(UNRENDERED_WALL_CLOCK_NOTE))) return nullptr;
    return dict.release();
}

bool ReadingBoxer::add_zones(PyObject* dict, const ReadingZones& zones, std::string_view display_zone,
                             std::string_view local_zone) {
    if (zones.display) {
        if (!set_stolen(dict, shared_text("local"), local_time(*zones.display, display_zone))) return false;
    }
    if (zones.placement) {
        Ref placed(local_time(zones.placement->local, local_zone));
        if (!placed) return false;
        std::string note;
        try {
            note = placement_note(*zones.placement, local_zone);
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
            return false;
        }
        PyObject* note_object = note.empty() ? Py_None : shared_text(note);
        if (!set_borrowed(placed.get(), shared_text("note"), note_object)) return false;
        if (!set_borrowed(dict, shared_text("local_zone"), placed.get())) return false;
    }
    return true;
}

PyObject* ReadingBoxer::readings(std::span<const Candidate> candidates, std::span<const ReadingZones> zones,
                                 std::string_view display_zone, std::string_view local_zone) {
    return with_collector_held(gc_functions_, [&]() -> PyObject* {
        Ref list(build_readings(candidates));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < zones.size() && i < candidates.size(); ++i) {
            if (!add_zones(PyList_GetItem(list.get(), static_cast<Py_ssize_t>(i)), zones[i], display_zone,
                           local_zone)) {
                return nullptr;
            }
        }
        return list.release();
    });
}

PyObject* ReadingBoxer::readings(std::span<const Candidate> candidates) {
    return with_collector_held(gc_functions_, [&] { return build_readings(candidates); });
}

PyObject* ReadingBoxer::build_readings(std::span<const Candidate> candidates) {
    Ref list(PyList_New(static_cast<Py_ssize_t>(candidates.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        PyObject* item = reading(candidates[i]);
        if (item == nullptr) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace epochsift::python
