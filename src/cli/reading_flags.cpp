#include "cli/reading_flags.hpp"

#include <string_view>

namespace epochsift::cli {

namespace {

// The numeric families that store local wall-clock time carry this note.
constexpr std::string_view LOCAL_NOTE = "stored as LOCAL wall-clock time with no offset — the instant is naive, not UTC";

// String readings with no zone in the text end their note with one of these:
// an EXIF DateTime, and an ASN.1 time without a designator. Every other
// string form either carries an offset or is defined in UTC.
constexpr std::string_view NAIVE_STRING_ENDINGS[] = {
    "NO offset is stored — assumed UTC, but is usually local time",
    "NO timezone designator — assumed UTC, but may be local time",
};

bool is_local_note(std::string_view note) {
    if (note == LOCAL_NOTE) return true;
    for (std::string_view const ending : NAIVE_STRING_ENDINGS) {
        if (note.ends_with(ending)) return true;
    }
    return false;
}

}  // namespace

ReadingFlags flags_of(const Candidate& reading) {
    ReadingFlags flags;
    flags.sentinel = reading.sentinel;
    for (std::string_view note : reading.assumptions) {
        if (is_local_note(note)) flags.local = true;
    }
    for (const ScoreComponent& component : reading.components) {
        if (component.name == "in_window" && component.value == 0.0) flags.outside_window = true;
    }
    return flags;
}

std::string flags_text(ReadingFlags flags) {
    std::string text;
    auto const add = [&](std::string_view word) {
        if (!text.empty()) text += ' ';
        text += word;
    };
    if (flags.sentinel) add("sentinel");
    if (flags.local) add("local");
    if (flags.outside_window) add("outside-window");
    return text;
}

}  // namespace epochsift::cli
