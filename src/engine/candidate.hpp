// One reading of the input: "if the value is in format F, it denotes
// instant T", with the evidence for and against it.
//
// A reading holds typed facts (components, notes, flags) and a reference to
// its catalog row; the output layer writes the names and note texts. It owns
// no heap memory.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "core/byte_order.hpp"
#include "core/instant.hpp"
#include "formats/catalog.hpp"

namespace epochsift {

// The plausibility measures a reading may carry, in the order a numeric
// reading lists them. Their names are written only by the output layer.
enum class Component : uint8_t {
    Representable,
    InWindow,
    GranularityMatch,
    MagnitudeFit,
    EpochDistance,
    Prevalence,
    NotSentinel,
    ByteWidthMatch,
    EndianMatch,
    ArtifactMatch,
    NeighbourMonotonicity,
    SelfDescribing,
    // The extended reading's evidence (ReadOptions::extended).
    Prior,          // how often analysts meet the family
    PlausibleEra,   // soft plausibility of the instant
    ResolutionFit,  // trailing zeros against common producer clock resolutions
    IdStructure,    // an identifier's sequence field looks like one
};
inline constexpr std::size_t COMPONENT_COUNT = static_cast<std::size_t>(Component::IdStructure) + 1;

// One measure in [0, 1].
struct ScoreComponent {
    Component kind;
    double value = 0.0;
};

// What a reading takes for granted or finds suspicious, in the order the
// notes are listed. Their texts are written only by the output layer.
enum class Note : uint8_t {
    ConsistentWith,      // a reading of the family named by label and citation
    LeapSmear,           // the family states no clock policy
    WallClockLocal,      // a numeric family that stores local wall-clock time
    Sentinel,            // raw is an unset/never marker
    WholeSecond,         // a FILETIME with no sub-second ticks
    Unsigned32Bit,       // raw fits an unsigned but not a signed 32-bit field
    NearSigned32BitMax,  // raw is within two years of 2^31 - 1
    Form,                // a string form's own note (and the missing designator)
    InputLayout,         // how bytes or two words became the raw value (extended inputs)
    HintNamed,           // the caller's hint words that imply the family (Candidate::hint_terms)
};
inline constexpr std::size_t NOTE_COUNT = static_cast<std::size_t>(Note::HintNamed) + 1;

// A set of notes, listed in enum order.
class NoteSet {
public:
    constexpr NoteSet() = default;
    constexpr NoteSet(std::initializer_list<Note> notes) {
        for (Note note : notes) add(note);
    }
    constexpr void add(Note note) { bits_ = static_cast<uint16_t>(bits_ | 1u << static_cast<unsigned>(note)); }
    constexpr bool has(Note note) const { return (bits_ >> static_cast<unsigned>(note) & 1u) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr std::size_t size() const { return static_cast<std::size_t>(__builtin_popcount(bits_)); }
    friend constexpr bool operator==(NoteSet, NoteSet) = default;

    // Only the set bits are visited: a reading has two or three notes.
    template <class F>
    constexpr void for_each(F&& visit) const {
        for (unsigned rest = bits_; rest != 0; rest &= rest - 1) visit(static_cast<Note>(std::countr_zero(rest)));
    }

private:
    uint16_t bits_ = 0;
};

// The typed facts about one reading that the command line and the ranking
// read; each comes from the family's row or the value, never from a text.
struct ReadingFacts {
    bool sentinel = false;        // raw is an unset/never marker
    bool local = false;           // a wall-clock time read as if it were UTC
    bool rare = false;            // the family's prevalence is Rare
    bool packed = false;          // the family packs civil fields
    bool outside_window = false;  // the instant lies outside the family's window
    bool string_form = false;     // a self-describing string form, ranked after numeric families
    bool zone_unstated = false;   // a string form whose text may state a zone but this one did not
};

// An RFC 3339 rendering, held inline: it never exceeds RFC3339_MAX_LEN bytes.
struct RenderedText {
    char text[RFC3339_MAX_LEN];
    uint8_t length = 0;

    // The UTC text of instant, or nothing outside the calendar range.
    static std::optional<RenderedText> of(PosixNs instant) {
        RenderedText rendered;
        rendered.length = static_cast<uint8_t>(instant.write_rfc3339(rendered.text));
        if (rendered.length == 0) return std::nullopt;
        return rendered;
    }

    // Any text, cut to the capacity (for tables and tests built by hand).
    static RenderedText from(std::string_view text) {
        RenderedText rendered;
        rendered.length = static_cast<uint8_t>(std::min(text.size(), RFC3339_MAX_LEN));
        text.copy(rendered.text, rendered.length);
        return rendered;
    }

    std::string_view view() const { return {text, length}; }
    operator std::string_view() const { return view(); }
    std::size_t size() const { return length; }

    friend bool operator==(const RenderedText& a, const RenderedText& b) { return a.view() == b.view(); }
    friend bool operator==(const RenderedText& a, std::string_view b) { return a.view() == b; }
};

// A reading's components, inline: 7 base components, at most 4 from the
// caller's context and at most 4 of the extended evidence.
class ComponentList {
public:
    static constexpr std::size_t CAPACITY = 15;

    ComponentList() {}  // the entries past size_ stay unwritten
    ComponentList(std::initializer_list<ScoreComponent> components) {
        for (ScoreComponent const& component : components) push_back(component);
    }
    ComponentList(const ComponentList& other) { copy_from(other); }
    ComponentList& operator=(const ComponentList& other) {
        copy_from(other);
        return *this;
    }

    void push_back(ScoreComponent component) {
        assert(size_ < CAPACITY);
        items_[size_++] = component;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    ScoreComponent& operator[](std::size_t i) { return items_[i]; }
    const ScoreComponent& operator[](std::size_t i) const { return items_[i]; }
    ScoreComponent* data() { return items_.data(); }
    const ScoreComponent* data() const { return items_.data(); }
    ScoreComponent* begin() { return items_.data(); }
    ScoreComponent* end() { return items_.data() + size_; }
    const ScoreComponent* begin() const { return items_.data(); }
    const ScoreComponent* end() const { return items_.data() + size_; }

private:
    // Only the used entries: a reading is moved several times while sorted.
    void copy_from(const ComponentList& other) {
        size_ = other.size_;
        for (std::size_t i = 0; i < size_; ++i) items_[i] = other.items_[i];
    }

    union {
        std::array<ScoreComponent, CAPACITY> items_;
    };
    uint8_t size_ = 0;
};

// How an extended input became the value a family read: bytes in an
// assumed order, width and signedness, or two 32-bit words in an assumed
// order, or bytes whose nibbles are decimal digits read as one number, most
// significant first (Digits: no byte order applies). Kind None for text
// read as it stands.
struct InputLayout {
    enum class Kind : uint8_t { None, Bytes, Binary64, Words, Digits };
    Kind kind = Kind::None;
    uint8_t width = 0;                  // bytes read
    ByteOrder order = ByteOrder::Big;   // Words: Big is the high word first
    bool order_moot = false;            // both orders give these bytes the same value
    bool is_signed = false;
};

inline constexpr double NO_CONFIDENCE = -1.0;

struct Candidate {
    FormatRef format;  // the catalog row the value was read as
    PosixNs instant;
    double score = 0.0;
    double prior = 1.0;  // the extended prior among the components; 1 where none was weighed
    // The reading's share of belief among the value's readings
    // (engine/confidence.hpp); NO_CONFIDENCE where none was weighed (the
    // reference reading).
    double confidence = NO_CONFIDENCE;
    ComponentList components;
    NoteSet notes;
    ReadingFacts facts;
    int64_t raw = 0;  // the integer read, which the sentinel note quotes
    InputLayout layout{};
    // The rows of HINT_TERMS whose words raised the reading (Note::HintNamed);
    // UINT8_MAX past the last.
    std::array<uint8_t, 2> hint_terms{UINT8_MAX, UINT8_MAX};

    bool has_confidence() const { return confidence >= 0.0; }

    // The texts of the reading's catalog row.
    std::string_view format_id() const { return catalog_entry(format).id; }
    std::string_view label() const { return catalog_entry(format).label; }
    std::string_view citation() const { return catalog_entry(format).citation; }
    std::string_view form_note() const { return catalog_entry(format).note; }  // empty but for string forms

    // The UTC text of the instant, absent outside the calendar range: made
    // when it is written, so readings nobody prints are never rendered.
    std::optional<RenderedText> rendered() const { return RenderedText::of(instant); }
};

}  // namespace epochsift
