// Identifiers that carry their creation time.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

std::optional<PosixNs> parse_ulid(std::string_view text);
std::optional<PosixNs> parse_uuid_v1(std::string_view text);
std::optional<PosixNs> parse_uuid_v6(std::string_view text);
std::optional<PosixNs> parse_uuid_v7(std::string_view text);
std::optional<PosixNs> parse_objectid(std::string_view text);
std::optional<PosixNs> parse_google_ei(std::string_view text);

}  // namespace epochsift
