// Readings as the Python objects identify() returns: the dicts json.loads
// makes of the readings' JSON text, built directly. Equal values, member
// order and types; the static texts, keys and repeated numbers are shared
// objects, made once per boxer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/candidate.hpp"
#include "output/reading_fields.hpp"
#include "output/reading_text.hpp"
#include "python/batch_reader.hpp"
#include "python/py_ref.hpp"

namespace epochsift::python {

class ReadingBoxer {
public:
    // Null with an exception set when its keys cannot be made.
    static ReadingBoxer* create();
    ~ReadingBoxer();
    ReadingBoxer(const ReadingBoxer&) = delete;
    ReadingBoxer& operator=(const ReadingBoxer&) = delete;

    // A new list of reading dicts, or null with an exception set. The
    // cycle collector, when on, waits until the list is built.
    PyObject* readings(std::span<const Candidate> candidates);

    // The same with each reading's "local" and "local_zone" members, as
    // identify writes them for the zones named.
    PyObject* readings(std::span<const Candidate> candidates, std::span<const ReadingZones> zones,
                       std::string_view display_zone, std::string_view local_zone);

private:
    ReadingBoxer() = default;
    PyObject* reading(const Candidate& c);
    PyObject* build_readings(std::span<const Candidate> candidates);
    // A borrowed dict of every key with the format's texts and a false
    // sentinel set, for reading() to copy; null with an exception set.
    PyObject* format_template(FormatRef format, bool extended);
    // A borrowed reference to the text of one of the reading's notes, or
    // null with an exception set.
    PyObject* note_text(const Candidate& c, Note note);
    // Adds "local" and "local_zone" to a reading dict; false with an
    // exception set.
    bool add_zones(PyObject* dict, const ReadingZones& zones, std::string_view display_zone,
                   std::string_view local_zone);
    PyObject* local_time(const LocalTime& local, std::string_view zone);
    // Borrowed references to shared objects, or null with an exception set.
    PyObject* shared_text(std::string_view text);
    // The same for a text of a reading's catalog row, kept at its reference
    // (ConsistentWith: that note's text, kept by note_text).
    enum class RowText : uint8_t { Id, Label, Citation, ConsistentWith };
    PyObject* row_text(FormatRef format, RowText which);
    // The shared text of a note's pieces joined.
    PyObject* joined_text(const NotePieces& note);
    PyObject* shared_float(double value);
    PyObject* instant(i128 ns);

    static constexpr std::size_t KEY_COUNT = READING_FIELD_COUNT;
    std::array<PyObject*, KEY_COUNT> keys_{};
    PyObject* template_ = nullptr;           // the reference reading's keys
    PyObject* extended_template_ = nullptr;  // every key
    std::array<PyObject*, COMPONENT_COUNT> component_names_{};
    // Static texts and note texts, by content: a value's notes are joined
    // from pieces, some of them digits on the stack.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, PyObject*, TextHash, std::equal_to<>> texts_;
    struct FloatSlot {
        uint64_t bits = 0;
        PyObject* object = nullptr;
    };
    std::array<FloatSlot, 64> floats_{};
    std::array<std::array<PyObject*, 4>, FORMAT_COUNT> row_texts_{};  // borrowed from texts_
    // The notes that quote nothing of the value, and the byte-layout notes
    // by their layout, borrowed from texts_: a reading's notes are then found
    // without joining and hashing their text.
    std::array<PyObject*, NOTE_COUNT> constant_notes_{};
    static constexpr std::size_t LAYOUT_NOTE_KINDS = static_cast<std::size_t>(InputLayout::Kind::Digits) + 1;
    static constexpr std::size_t LAYOUT_NOTE_WIDTHS = 17;  // 0 to 16 bytes; wider layouts are hashed
    std::array<PyObject*, LAYOUT_NOTE_KINDS * LAYOUT_NOTE_WIDTHS * 8> layout_notes_{};  // by kind, width, order, moot, sign
    std::array<std::array<PyObject*, 2>, FORMAT_COUNT> format_templates_{};  // [reference, extended]
    // gc.isenabled, gc.disable and gc.enable: the collector waits while a
    // call's readings are built (see readings()).
    std::array<PyObject*, 3> gc_functions_{};
    std::string scratch_;
};

}  // namespace epochsift::python
