// One reading of the input: "if the value is in format F, it denotes
// instant T", with the evidence for and against it.
//
// A call builds a few dozen readings, so a reading keeps its texts inline or
// in one buffer: one heap allocation each (its notes) rather than one per
// text and list. A reading still owns all of it and is moved, never shared.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// A named plausibility measure in [0, 1]; the name is a static text.
struct ScoreComponent {
    std::string_view name;
    double value = 0.0;
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

// A reading's components, inline: 7 base components and at most 4 from the
// caller's context.
class ComponentList {
public:
    static constexpr std::size_t CAPACITY = 11;

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

// A reading's notes: their texts back to back in one owned buffer, with the
// end of each held inline. Three notes come from the format's row and up to
// three from the value (sentinel, whole-second, field width).
class NoteList {
public:
    static constexpr std::size_t CAPACITY = 6;

    NoteList() = default;
    NoteList(std::initializer_list<std::string_view> notes) {
        std::size_t total = 0;
        for (std::string_view note : notes) total += note.size();
        reserve(total);
        for (std::string_view note : notes) push_back(note);
    }

    // Room for notes of total_bytes together, so the buffer is allocated once.
    void reserve(std::size_t total_bytes) { text_.reserve(total_bytes); }

    void push_back(std::string_view note) { push_back_joined({note}); }

    // One note written from its pieces straight into the buffer.
    void push_back_joined(std::initializer_list<std::string_view> pieces) {
        assert(count_ < CAPACITY);
        for (std::string_view piece : pieces) text_.append(piece);
        ends_[count_++] = static_cast<uint32_t>(text_.size());
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The bytes of all notes together.
    std::size_t text_size() const { return text_.size(); }

    std::string_view operator[](std::size_t i) const {
        std::size_t const start = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(start, ends_[i] - start);
    }

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        Iterator() = default;
        Iterator(const NoteList* notes, std::size_t index) : notes_(notes), index_(index) {}
        std::string_view operator*() const { return (*notes_)[index_]; }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++index_;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }

    private:
        const NoteList* notes_ = nullptr;
        std::size_t index_ = 0;
    };

    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, count_); }

    friend bool operator==(const NoteList& a, const NoteList& b) {
        if (a.count_ != b.count_ || a.text_ != b.text_) return false;
        for (std::size_t i = 0; i < a.count_; ++i) {
            if (a.ends_[i] != b.ends_[i]) return false;
        }
        return true;
    }

private:
    std::string text_;
    std::array<uint32_t, CAPACITY> ends_;
    uint8_t count_ = 0;
};

struct Candidate {
    std::string_view format_id;  // static texts of a registry or string-format row
    std::string_view label;
    std::string_view citation;
    PosixNs instant;
    std::optional<RenderedText> rendered;  // absent outside the calendar range
    double score = 0.0;
    ComponentList components;
    NoteList assumptions;
    bool sentinel = false;
};

}  // namespace epochsift
