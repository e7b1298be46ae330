// The options a caller may give a request by name, one row each. The
// Python module's keyword options and the C interface's JSON keys are both
// read from this table: a binding finds the row by name, reads a value of
// the row's kind in its own terms and stores it with CallerOptions::set.
// An option of a kind the bindings read already is one row here, its member
// and its line in CallerOptions::set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/byte_order.hpp"
#include "engine/read_options.hpp"
#include "engine/request.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

enum class OptionKey : uint8_t {
    Extended,
    Hint,
    ByteWidth,
    ByteOrder,
    Neighbours,
    Window,
    Tz,
    LocalZone,
    Best,
    Families,
};

// What a binding reads for an option.
enum class OptionKind : uint8_t {
    Flag,       // true or false
    Text,       // a string
    ByteWidth,  // an integer from 1 to 16
    ByteOrder,  // "little" or "big"
    Integers,   // signed 64-bit integers
    Window,     // a (start, end) pair of instants, start first
    Zone,       // a time zone by name
    Count,      // an integer of 1 or more
    FamilyIds,  // a non-empty list of numeric family ids
};

struct OptionRow {
    OptionKey key;
    std::string_view name;  // the keyword and the JSON key
    OptionKind kind;
};

inline constexpr auto REQUEST_OPTIONS = std::to_array<OptionRow>({
    {OptionKey::Extended, "extended", OptionKind::Flag},
    {OptionKey::Hint, "hint", OptionKind::Text},
    {OptionKey::ByteWidth, "byte_width", OptionKind::ByteWidth},
    {OptionKey::ByteOrder, "byte_order", OptionKind::ByteOrder},
    {OptionKey::Neighbours, "neighbours", OptionKind::Integers},
    {OptionKey::Window, "window", OptionKind::Window},
    {OptionKey::Tz, "tz", OptionKind::Zone},
    {OptionKey::LocalZone, "local_zone", OptionKind::Zone},
    {OptionKey::Best, "best", OptionKind::Count},
    {OptionKey::Families, "families", OptionKind::FamilyIds},
});

// Each row sits at its key's index, so a set of keys is a bit mask.
static_assert([] {
    for (std::size_t i = 0; i < REQUEST_OPTIONS.size(); ++i) {
        if (static_cast<std::size_t>(REQUEST_OPTIONS[i].key) != i) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (REQUEST_OPTIONS[j].name == REQUEST_OPTIONS[i].name) return false;
        }
    }
    return true;
}());
static_assert(REQUEST_OPTIONS.size() <= 32);

// A set of options, one bit a key: the options a function takes.
using OptionSet = uint32_t;

constexpr OptionSet option_bit(OptionKey key) { return OptionSet{1} << static_cast<unsigned>(key); }

// Each option's bit, for the sets the bindings' functions declare.
inline constexpr OptionSet OPT_EXTENDED = option_bit(OptionKey::Extended);
inline constexpr OptionSet OPT_HINT = option_bit(OptionKey::Hint);
inline constexpr OptionSet OPT_BYTE_WIDTH = option_bit(OptionKey::ByteWidth);
inline constexpr OptionSet OPT_BYTE_ORDER = option_bit(OptionKey::ByteOrder);
inline constexpr OptionSet OPT_NEIGHBOURS = option_bit(OptionKey::Neighbours);
inline constexpr OptionSet OPT_WINDOW = option_bit(OptionKey::Window);
inline constexpr OptionSet OPT_TZ = option_bit(OptionKey::Tz);
inline constexpr OptionSet OPT_LOCAL_ZONE = option_bit(OptionKey::LocalZone);
inline constexpr OptionSet OPT_BEST = option_bit(OptionKey::Best);
inline constexpr OptionSet OPT_FAMILIES = option_bit(OptionKey::Families);

constexpr const OptionRow& option_row(OptionKey key) { return REQUEST_OPTIONS[static_cast<std::size_t>(key)]; }

// The row named name among allowed; nothing when none is.
constexpr const OptionRow* find_option(std::string_view name, OptionSet allowed) {
    for (OptionRow const& row : REQUEST_OPTIONS) {
        if ((allowed & option_bit(row.key)) != 0 && row.name == name) return &row;
    }
    return nullptr;
}

// A value read for an option, the alternative of its row's kind: Flag bool,
// Text string, ByteWidth uint8_t, ByteOrder, Integers, Window, Zone
// TimeZone, Count size_t, FamilyIds strings.
using OptionValue = std::variant<bool, std::string, uint8_t, ByteOrder, std::vector<int64_t>, InstantWindow,
                                 TimeZone, std::size_t, std::vector<std::string>>;

// The options of one call and the texts, numbers and zones that `read`
// points into. Not copyable: read's views point at this object's members.
struct CallerOptions {
    ReadOptions read;
    std::optional<std::string> hint;
    std::vector<int64_t> neighbours;
    std::optional<TimeZone> display_zone;  // tz
    std::optional<TimeZone> local_zone;
    std::optional<std::size_t> best;
    std::vector<std::string> families;

    CallerOptions() = default;
    CallerOptions(const CallerOptions&) = delete;
    CallerOptions& operator=(const CallerOptions&) = delete;

    // Stores value, of key's kind. False when it is of another.
    bool set(OptionKey key, OptionValue&& value);

    // Points read at the owned texts and zones: once, after the last set.
    void finish();

    // The request for a value under these options.
    Request request(std::string_view text) const;
    Request request(std::span<const uint8_t> bytes) const;
};

}  // namespace epochsift
