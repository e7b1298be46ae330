// The time claims of a JSON Web Token's payload.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace epochsift {

struct JwtClaims {
    std::optional<int64_t> iat;
    std::optional<int64_t> exp;
    std::optional<int64_t> nbf;
};

// header.payload.signature; nothing unless there are exactly two dots and
// the payload decodes (base64url) and parses as strict JSON.
std::optional<JwtClaims> parse_jwt_claims(std::string_view text);

}  // namespace epochsift
