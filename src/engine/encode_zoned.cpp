#include "engine/encode_zoned.hpp"

#include <algorithm>

namespace epochsift {

std::optional<ZonedEncoding> encode_in_zone(PosixNs instant, const TimeZone& zone,
                                            std::span<const std::string_view> families) {
    auto wall = zone.at(instant);
    if (!wall) return std::nullopt;
    ZonedEncoding out{encode(instant, families), std::move(*wall)};
    // The wall clock encoded as if it were UTC gives each wall-clock family's
    // value; the instant it denotes in the zone is that less the offset.
    std::vector<Encoded> as_wall = encode(out.wall.wall, families);
    i128 const offset_ns = i128{out.wall.offset_seconds} * NS_PER_SECOND;
    for (Encoded& encoded : out.encoded) {
        if (!encoded.has(EncodeNote::WallClockUtc)) continue;
        auto const found = std::find_if(as_wall.begin(), as_wall.end(),
                                        [&](const Encoded& w) { return w.format_id == encoded.format_id; });
        if (found == as_wall.end()) continue;  // the wall clock is outside the family's range: left in UTC
        Encoded zoned = std::move(*found);
        zoned.reads_as = PosixNs{zoned.reads_as.ns - offset_ns};
        // The wall encoding's own notes stay, but its rounding was measured against the wall clock.
        constexpr auto bit = [](EncodeNote note) { return 1u << static_cast<unsigned>(note); };
        zoned.notes = static_cast<uint8_t>(zoned.notes & ~(bit(EncodeNote::WallClockUtc) | bit(EncodeNote::Rounded)));
        zoned.add(EncodeNote::WallClockZone);
        if (zoned.reads_as != instant) zoned.add(EncodeNote::Rounded);
        encoded = std::move(zoned);
    }
    return out;
}

}  // namespace epochsift
