// Writers of the string forms: the text each form would hold for an instant,
// with whatever the form cannot store dropped (sub-units floored, non-time
// bits of identifiers zero). Nothing when the form cannot hold the instant.
#pragma once

#include <optional>
#include <string>

#include "core/instant.hpp"

namespace epochsift {

std::optional<std::string> write_iso8601(PosixNs instant);
std::optional<std::string> write_generalized_time(PosixNs instant);
std::optional<std::string> write_utc_time(PosixNs instant);
std::optional<std::string> write_jwt_iat(PosixNs instant);
std::optional<std::string> write_jwt_exp(PosixNs instant);
std::optional<std::string> write_jwt_nbf(PosixNs instant);
std::optional<std::string> write_ulid(PosixNs instant);
std::optional<std::string> write_uuid_v1(PosixNs instant);
std::optional<std::string> write_uuid_v6(PosixNs instant);
std::optional<std::string> write_uuid_v7(PosixNs instant);
std::optional<std::string> write_objectid(PosixNs instant);
std::optional<std::string> write_google_ei(PosixNs instant);
std::optional<std::string> write_clf(PosixNs instant);
std::optional<std::string> write_pdf_date(PosixNs instant);
std::optional<std::string> write_dmtf_cim(PosixNs instant);
std::optional<std::string> write_rfc2822(PosixNs instant);
std::optional<std::string> write_exif(PosixNs instant);
std::optional<std::string> write_iso_ordinal(PosixNs instant);
std::optional<std::string> write_iso_week(PosixNs instant);

}  // namespace epochsift
