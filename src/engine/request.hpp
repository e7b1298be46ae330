// One question asked of the engine and its answer: the value (text, or raw
// bytes), what the caller knows about it, the zones to see it in and how
// many readings to keep; read() returns the ranked readings with the zones
// already applied. The module, the command line and the C interface each
// translate their inputs into a Request and the Readings into their output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_order.hpp"
#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/time_zone.hpp"

namespace epochsift {

struct Request {
    std::string_view text;  // the value, when it is read as text
    // The value as raw bytes (1 to 16), read instead of text when set, and
    // ranked in the extended order; read.context.byte_order then names the
    // order the bytes are in (absent: each reading states the order it took).
    std::optional<std::span<const uint8_t>> bytes;
    ReadOptions read;                 // extended, the caller's evidence, the window, the zones
    std::optional<std::size_t> best;  // keep the first best readings (after zones are applied)

    static Request of_text(std::string_view text, const ReadOptions& read = {}) {
        return Request{.text = text, .bytes = std::nullopt, .read = read, .best = std::nullopt};
    }
    static Request of_bytes(std::span<const uint8_t> bytes, const ReadOptions& read = {}) {
        return Request{.text = {}, .bytes = bytes, .read = read, .best = std::nullopt};
    }
};

// How a wall-clock reading was placed in the local zone.
struct WallClockPlacement {
    WallClockKind kind = WallClockKind::Unique;
    bool later = false;  // the later instant of a fold
    LocalTime local;     // the wall clock read, with the offset used
};

// One reading seen through the request's zones.
struct ReadingZones {
    std::optional<LocalTime> display;             // set when a display zone was given
    std::optional<WallClockPlacement> placement;  // set for wall-clock readings placed in the local zone
};

struct Readings {
    std::vector<Candidate> ranked;  // best first
    // Empty when the request named no zone, else one beside each reading.
    std::vector<ReadingZones> zones;
    ZoneChoice zone_choice;  // the request's zones, for their names
};

// The engine's entry point.
Readings read(const Request& request);

}  // namespace epochsift
