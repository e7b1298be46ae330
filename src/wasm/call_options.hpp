// The options of one C call, read from its JSON text by the engine's option
// table (engine/request_options.hpp) into what the engine's entry takes.
#pragma once

#include <string>
#include <string_view>

#include "engine/request_options.hpp"

namespace epochsift::wasm {

// The options of one call: not copyable, read's views point into it.
using CallOptions = CallerOptions;

// Which keys a function takes: bits of the engine's option keys.
inline constexpr OptionSet OPT_EXTENDED = option_bit(OptionKey::Extended);
inline constexpr OptionSet OPT_HINT = option_bit(OptionKey::Hint);
inline constexpr OptionSet OPT_BYTE_WIDTH = option_bit(OptionKey::ByteWidth);
inline constexpr OptionSet OPT_BYTE_ORDER = option_bit(OptionKey::ByteOrder);
inline constexpr OptionSet OPT_NEIGHBOURS = option_bit(OptionKey::Neighbours);
inline constexpr OptionSet OPT_WINDOW = option_bit(OptionKey::Window);
inline constexpr OptionSet OPT_BEST = option_bit(OptionKey::Best);
inline constexpr OptionSet OPT_FAMILIES = option_bit(OptionKey::Families);

// Reads json (empty for no options) into out, taking only the keys in
// allowed. False with the fault, in words, in error.
bool read_call_options(std::string_view json, OptionSet allowed, CallOptions& out, std::string& error);

}  // namespace epochsift::wasm
