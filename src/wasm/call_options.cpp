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

std::string said(std::string_view name, std::string_view fault) {
    std::string out(name);
    out += fault;
    return out;
}

// The value of one option, of its row's kind; nothing with the fault in error.
std::optional<OptionValue> option_value(const OptionRow& row, const Json& item, std::string& error) {
    std::string_view const name = row.name;
    auto const fault = [&](std::string_view text) -> std::optional<OptionValue> {
        error = said(name, text);
        return std::nullopt;
    };
    switch (row.kind) {
        case OptionKind::Flag:
            if (!item.is_boolean()) return fault(" must be true or false");
            return OptionValue(item.get<bool>());
        case OptionKind::Text:
            if (!item.is_string()) return fault(" must be a string");
            return OptionValue(item.get<std::string>());
        case OptionKind::ByteWidth: {
            auto const width = int64_of(item);
            if (!width || *width < 1 || *width > 16) return fault(" must be an integer from 1 to 16");
            return OptionValue(static_cast<uint8_t>(*width));
        }
        case OptionKind::ByteOrder:
            if (item == "little") return OptionValue(ByteOrder::Little);
            if (item == "big") return OptionValue(ByteOrder::Big);
            return fault(" must be \"little\" or \"big\"");
        case OptionKind::Integers: {
            if (!item.is_array()) return fault(" must be an array of integers");
            std::vector<int64_t> numbers;
            for (const Json& number : item) {
                auto const value = int64_of(number);
                if (!value) return fault(" must be signed 64-bit integers");
                numbers.push_back(*value);
            }
            return OptionValue(std::move(numbers));
        }
        case OptionKind::Window: {
            if (!item.is_array() || item.size() != 2) return fault(" must be a [start, end] pair");
            auto const start = window_end_of(item[0]);
            auto const end = window_end_of(item[1]);
            if (!start || !end) {
                error = "a window end must be integer nanoseconds or RFC 3339 text with an offset";
                return std::nullopt;
            }
            if (!(*start < *end)) {
                error = "the window's start must lie before its end";
                return std::nullopt;
            }
            return OptionValue(InstantWindow{*start, *end});
        }
        case OptionKind::Count: {
            auto const count = int64_of(item);
            if (!count || *count < 1) return fault(" must be an integer of 1 or more");
            return OptionValue(static_cast<std::size_t>(
                std::min<uint64_t>(static_cast<uint64_t>(*count), std::numeric_limits<std::size_t>::max())));
        }
        case OptionKind::FamilyIds: {
            if (!item.is_array() || item.empty()) return fault(" must be a non-empty array of family ids");
            std::vector<std::string> ids;
            for (const Json& id : item) {
                if (!id.is_string() || !is_family_id(id.get_ref<const std::string&>())) {
                    return fault(" lists an unknown family id");
                }
                ids.push_back(id.get<std::string>());
            }
            return OptionValue(std::move(ids));
        }
        case OptionKind::Zone: break;  // the C interface reads no zones
    }
    return fault(" is not read by this interface");
}

}  // namespace

bool read_call_options(std::string_view json, OptionSet allowed, CallOptions& out, std::string& error) {
    if (trim_white_space(json).empty()) return true;
    // No exceptions: a malformed text comes back discarded.
    Json const options = Json::parse(json.begin(), json.end(), nullptr, false);
    if (options.is_discarded() || !options.is_object()) return fail(error, "options must be a JSON object");
    for (auto const& [name, item] : options.items()) {
        OptionRow const* row = find_option(name, allowed);
        if (row == nullptr) {
            error = "unknown option for this function: " + name;
            return false;
        }
        // null leaves an option absent, as None does in the Python module.
        if (item.is_null()) continue;
        std::optional<OptionValue> value = option_value(*row, item, error);
        if (!value) return false;
        out.set(row->key, std::move(*value));
    }
    out.finish();
    return true;
}

}  // namespace epochsift::wasm
