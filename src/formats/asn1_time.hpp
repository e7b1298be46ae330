// ASN.1 UTCTime and GeneralizedTime, read more leniently than DER.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

struct Asn1Time {
    PosixNs instant;
    bool has_designator;  // ended in Z/z or a numeric offset
};

// year_digits is 4 (GeneralizedTime) or 2 (UTCTime, pivot at 50).
std::optional<Asn1Time> parse_asn1(std::string_view text, int year_digits);

}  // namespace epochsift
