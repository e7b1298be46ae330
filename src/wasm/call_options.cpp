#include "wasm/call_options.hpp"

#include <iterator>
#include <limits>

#include <nlohmann/json.hpp>

#include "core/text_trim.hpp"
#include "engine/encode.hpp"
#include "formats/iso8601.hpp"

namespace epochsift::wasm {

namespace {

using Json = nlohmann::json;

struct OptionName {
    OptionKey key;
    std::string_view name;
};
constexpr OptionName OPTION_NAMES[] = {
    {OPT_EXTENDED, "extended"},     {OPT_HINT, "hint"},     {OPT_BYTE_WIDTH, "byte_width"},
    {OPT_BYTE_ORDER, "byte_order"}, {OPT_NEIGHBOURS, "neighbours"}, {OPT_WINDOW, "window"},
    {OPT_BEST, "best"},             {OPT_FAMILIES, "families"},
};
// One row a key, each key one bit: a mask names a set of options.
static_assert(std::size(OPTION_NAMES) == 8);
static_assert([] {
    unsigned seen = 0;
    for (OptionName const& option : OPTION_NAMES) {
        if ((seen & option.key) != 0 || __builtin_popcount(option.key) != 1) return false;
        seen |= option.key;
    }
    return true;
}());

std::optional<OptionKey> key_of(std::string_view name) {
    for (OptionName const& option : OPTION_NAMES) {
        if (option.name == name) return option.key;
    }
    return std::nullopt;
}

// A JSON integer that fits int64_t. Floats are refused: 1.5e9 is no count.
std::optional<int64_t> int64_of(const Json& item) {
    if (item.is_number_unsigned()) {
        auto const value = item.get<uint64_t>();
        if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
        return static_cast<int64_t>(value);
    }
    if (item.is_number_integer()) return item.get<int64_t>();
    return std::nullopt;
}

// One end of a window: integer nanoseconds or RFC 3339 text with an offset.
std::optional<PosixNs> window_end_of(const Json& end) {
    if (auto const ns = int64_of(end)) return PosixNs{*ns};
    if (end.is_string()) return parse_iso8601(trim_white_space(end.get_ref<const std::string&>()));
    return std::nullopt;
}

bool fail(std::string& error, std::string_view text) {
    error.assign(text);
    return false;
}

bool read_option(OptionKey key, const Json& item, CallOptions& out, std::string& error) {
    switch (key) {
        case OPT_EXTENDED:
            if (!item.is_boolean()) return fail(error, "extended must be true or false");
            out.read.extended = item.get<bool>();
            return true;
        case OPT_HINT:
            if (!item.is_string()) return fail(error, "hint must be a string");
            out.hint = item.get<std::string>();
            return true;
        case OPT_BYTE_WIDTH: {
            auto const width = int64_of(item);
            if (!width || *width < 1 || *width > 16) return fail(error, "byte_width must be an integer from 1 to 16");
            out.read.context.byte_width = static_cast<uint8_t>(*width);
            return true;
        }
        case OPT_BYTE_ORDER:
            if (item == "little") {
                out.read.context.byte_order = ByteOrder::Little;
            } else if (item == "big") {
                out.read.context.byte_order = ByteOrder::Big;
            } else {
                return fail(error, "byte_order must be \"little\" or \"big\"");
            }
            return true;
        case OPT_NEIGHBOURS:
            if (!item.is_array()) return fail(error, "neighbours must be an array of integers");
            for (const Json& neighbour : item) {
                auto const value = int64_of(neighbour);
                if (!value) return fail(error, "neighbours must be signed 64-bit integers");
                out.neighbours.push_back(*value);
            }
            return true;
        case OPT_WINDOW: {
            if (!item.is_array() || item.size() != 2) return fail(error, "window must be a [start, end] pair");
            auto const start = window_end_of(item[0]);
            auto const end = window_end_of(item[1]);
            if (!start || !end) {
                return fail(error, "a window end must be integer nanoseconds or RFC 3339 text with an offset");
            }
            if (!(*start < *end)) return fail(error, "the window's start must lie before its end");
            out.read.window = InstantWindow{*start, *end};
            return true;
        }
        case OPT_BEST: {
            auto const best = int64_of(item);
            if (!best || *best < 1) return fail(error, "best must be an integer of 1 or more");
            out.best = static_cast<std::size_t>(
                std::min<uint64_t>(static_cast<uint64_t>(*best), std::numeric_limits<std::size_t>::max()));
            return true;
        }
        case OPT_FAMILIES:
            if (!item.is_array() || item.empty()) return fail(error, "families must be a non-empty array of family ids");
            for (const Json& family : item) {
                if (!family.is_string() || !is_family_id(family.get_ref<const std::string&>())) {
                    return fail(error, "families lists an unknown family id");
                }
                out.families.push_back(family.get<std::string>());
            }
            return true;
    }
    return true;
}

}  // namespace

bool read_call_options(std::string_view json, unsigned allowed, CallOptions& out, std::string& error) {
    if (trim_white_space(json).empty()) return true;
    // No exceptions: a malformed text comes back discarded.
    Json const options = Json::parse(json.begin(), json.end(), nullptr, false);
    if (options.is_discarded() || !options.is_object()) return fail(error, "options must be a JSON object");
    bool has_hint = false;
    for (auto const& [name, item] : options.items()) {
        auto const key = key_of(name);
        if (!key || (allowed & *key) == 0) {
            error = "unknown option for this function: " + name;
            return false;
        }
        // null leaves an option absent, as None does in the Python module.
        if (item.is_null()) continue;
        if (!read_option(*key, item, out, error)) return false;
        has_hint = has_hint || *key == OPT_HINT;
    }
    // The views are taken once the owned texts stop changing.
    if (has_hint) out.read.context.artifact_hint = std::string_view(out.hint);
    out.read.context.neighbours = out.neighbours;
    return true;
}

}  // namespace epochsift::wasm
