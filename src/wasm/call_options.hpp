// The options of one C call, read from its JSON text into what the engine's
// entry takes. This file is the one place that knows the engine's option
// types: when the entry changes, only read_call_options changes with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/read_options.hpp"

namespace epochsift::wasm {

// Which keys a function takes.
enum OptionKey : unsigned {
    OPT_EXTENDED = 1u << 0,
    OPT_HINT = 1u << 1,
    OPT_BYTE_WIDTH = 1u << 2,
    OPT_BYTE_ORDER = 1u << 3,
    OPT_NEIGHBOURS = 1u << 4,
    OPT_WINDOW = 1u << 5,
    OPT_BEST = 1u << 6,
    OPT_FAMILIES = 1u << 7,
};

// The engine's options and the texts and numbers they point into. Not
// copyable: read's views point at this object's members.
struct CallOptions {
    ReadOptions read;
    std::string hint;
    std::vector<int64_t> neighbours;
    std::optional<std::size_t> best;
    std::vector<std::string> families;

    CallOptions() = default;
    CallOptions(const CallOptions&) = delete;
    CallOptions& operator=(const CallOptions&) = delete;
};

// Reads json (empty for no options) into out, taking only the keys in
// allowed. False with the fault, in words, in error.
bool read_call_options(std::string_view json, unsigned allowed, CallOptions& out, std::string& error);

}  // namespace epochsift::wasm
