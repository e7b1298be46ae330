// Values forensic examiners meet in logs, browser artefacts and traces whose
// time sits in a field of their own text: AWS X-Ray trace ids, cuids, S32
// (Bluesky rkey) times, MUMPS $HOROLOG, VMware snapshot times, ext4 inode
// times and extra words, Hotmail FILETIME words, Google gclid and ved
// parameters, Metasploit payload UUIDs, Apple Biome doubles, and GSM times
// written in decimal digits.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

std::optional<PosixNs> parse_xray_trace_id(std::string_view text);
std::optional<PosixNs> parse_cuid(std::string_view text);
std::optional<PosixNs> parse_s32_time(std::string_view text);
std::optional<PosixNs> parse_horolog(std::string_view text);
std::optional<PosixNs> parse_vmsd_time(std::string_view text);
std::optional<PosixNs> parse_ext4_time(std::string_view text);
std::optional<PosixNs> parse_hotmail_time(std::string_view text);
std::optional<PosixNs> parse_gclid(std::string_view text);
std::optional<PosixNs> parse_ved(std::string_view text);
std::optional<PosixNs> parse_metasploit_uuid(std::string_view text);
std::optional<PosixNs> parse_biome_double(std::string_view text);
std::optional<PosixNs> parse_gsm_digits(std::string_view text);

}  // namespace epochsift
