// The reverse of identify: the value each family would hold for an instant,
// and the instant identify reads back from that value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/instant.hpp"

namespace epochsift {

// What an encoded value takes for granted. Texts are written by the output layer.
enum class EncodeNote : uint8_t {
    Rounded,             // the family's resolution moved the instant (reads_as != instant)
    NearestDouble,       // a float family: the value is the nearest binary64 that reads back
    IdentifierBitsZero,  // an identifier: every bit but the time (and the UUID variant) is zero
    WallClockUtc,        // a wall-clock family: the UTC wall clock was written
    WallClockZone,       // a wall-clock family: the wall clock of the zone asked for was written
};

// The stored bytes of a fixed-width field, as one big-endian number.
struct StoredBytes {
    uint64_t bits = 0;
    uint8_t width = 0;  // 1 to 8 bytes
    // False for a sequence of bytes in a fixed order (BCD digits, GSM
    // semi-octets): no byte order applies, so there is no little-endian form.
    bool ordered = true;
};

struct Encoded {
    std::string_view format_id;  // static texts of the family's row
    std::string_view label;
    std::string value;  // the text identify reads back
    PosixNs reads_as;   // the instant identify reads from value
    std::optional<StoredBytes> stored;
    uint8_t notes = 0;  // EncodeNote bits

    bool has(EncodeNote note) const { return (notes >> static_cast<unsigned>(note) & 1u) != 0; }
    void add(EncodeNote note) { notes = static_cast<uint8_t>(notes | 1u << static_cast<unsigned>(note)); }
};

// True for the id of a numeric family or a string form.
bool is_family_id(std::string_view id);

// Every family that can hold instant (only those listed in families when it
// is not empty), in the order identify tries them: numeric families, then
// string forms.
std::vector<Encoded> encode(PosixNs instant, std::span<const std::string_view> families = {});

}  // namespace epochsift
