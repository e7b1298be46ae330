// Zones by IANA name from a directory of TZif files: $TZDIR when set, else
// the system's /usr/share/zoneinfo, or one the caller names (Python's tzdata
// package ships one). Loaded zones are kept for the life of the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "core/zone_rules.hpp"

namespace epochsift {

enum class ZoneLoadError : uint8_t {
    None,
    BadName,     // not a relative path of letters, digits and / _ + -
    NotFound,    // no regular file of that name
    Unreadable,  // the file could not be read, or is implausibly large
    Corrupt,     // not a valid TZif file (see tzif_error)
};

struct ZoneLoad {
    std::shared_ptr<const ZoneRules> rules;
    ZoneLoadError error = ZoneLoadError::None;
    TzifError tzif_error = TzifError::None;
};

// Whether name can be looked up without leaving the zone directory:
// segments of [A-Za-z0-9_+-] joined by single slashes.
bool valid_zone_name(std::string_view name);

// $TZDIR, or /usr/share/zoneinfo.
std::string_view default_zone_directory();

// The zone named in directory (the default one when empty); thread-safe.
ZoneLoad load_zone(std::string_view name, std::string_view directory = {});

}  // namespace epochsift
