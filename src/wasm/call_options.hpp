// The options of one C call, read from its JSON text by the engine's option
// table (engine/request_options.hpp) into what the engine's entry takes.
#pragma once

#include <string>
#include <string_view>

#include "engine/request_options.hpp"

namespace epochsift::wasm {

// The options of one call: not copyable, read's views point into it.
using CallOptions = CallerOptions;

// Reads json (empty for no options) into out, taking only the keys in
// allowed. False with the fault, in words, in error.
bool read_call_options(std::string_view json, OptionSet allowed, CallOptions& out, std::string& error);

}  // namespace epochsift::wasm
