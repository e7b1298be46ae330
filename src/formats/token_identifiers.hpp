// Identifiers and tokens that begin with their creation time: KSUID, xid,
// Bluesky TIDs, Firebase push IDs, Fernet tokens, and the Google Analytics
// _ga and Facebook _fbp cookies.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

std::optional<PosixNs> parse_ksuid(std::string_view text);
std::optional<PosixNs> parse_xid(std::string_view text);
std::optional<PosixNs> parse_bluesky_tid(std::string_view text);
std::optional<PosixNs> parse_firebase_push_id(std::string_view text);
std::optional<PosixNs> parse_fernet(std::string_view text);
std::optional<PosixNs> parse_ga_cookie(std::string_view text);
std::optional<PosixNs> parse_fbp_cookie(std::string_view text);

}  // namespace epochsift
