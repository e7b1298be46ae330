#include "output/zoned_json.hpp"

#include "output/reading_json.hpp"

namespace epochsift {

namespace {

void append_local(std::string& out, const LocalTime& local, std::string_view zone) {
    out += "{\"zone\":";
    append_json_string(out, zone);
    out += ",\"time\":";
    std::optional<std::string> const time = local_time_text(local);
    if (time) append_json_string(out, *time);
    else out += "null";
    out += ",\"offset_seconds\":";
    append_json_integer(out, local.offset_seconds);
    out += ",\"abbreviation\":";
    append_json_string(out, local.abbreviation);
    if (!time) {
        out += ",\"time_note\":";
        append_json_string(out, UNRENDERED_WALL_CLOCK_NOTE);
    }
}

}  // namespace

std::optional<std::string> local_time_text(const LocalTime& local) {
    // The wall clock of an instant in the calendar range at any offset a
    // zone may have is within the civil years; the check stays for zones
    // built otherwise.
    char buffer[RFC3339_MAX_LEN];
    std::size_t const length = local.wall.write_civil_rfc3339(buffer);
    if (length == 0) return std::nullopt;
    std::string text(buffer, length - 1);  // without its 'Z'
    text += offset_text(local.offset_seconds);
    return text;
}

std::string placement_note(const WallClockPlacement& placement, std::string_view zone) {
    std::string const where = " in " + std::string(zone);
    switch (placement.kind) {
        case WallClockKind::Unique: return {};
        case WallClockKind::Gap:
            return "the wall-clock time does not exist" + where +
                   " (skipped by a forward shift); read with the offset in force before it";
        case WallClockKind::Fold:
            return std::string("the wall-clock time occurs twice") + where + " (a backward shift); this is the " +
                   (placement.later ? "later" : "earlier") + " instant";
    }
    return {};
}

void append_zone_members(std::string& out, const ReadingZones& zones, const ZoneChoice& choice) {
    if (zones.display) {
        out += ",\"local\":";
        append_local(out, *zones.display, choice.display != nullptr ? choice.display->name() : std::string_view());
        out += '}';
    }
    if (zones.placement) {
        std::string_view const local_zone = choice.local != nullptr ? choice.local->name() : std::string_view();
        out += ",\"local_zone\":";
        append_local(out, zones.placement->local, local_zone);
        out += ",\"note\":";
        std::string const note = placement_note(*zones.placement, local_zone);
        if (note.empty()) out += "null";
        else append_json_string(out, note);
        out += '}';
    }
}

}  // namespace epochsift
