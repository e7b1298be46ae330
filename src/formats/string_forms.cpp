#include "formats/string_forms.hpp"

#include "formats/asn1_time.hpp"
#include "formats/form_writers.hpp"
#include "formats/identifier_parsers.hpp"
#include "formats/iso8601.hpp"
#include "formats/text_date_parsers.hpp"

namespace epochsift {

namespace {

template <int YearDigits>
std::optional<FormInstant> asn1(std::string_view text, FormMemo&) {
    if (auto const parsed = parse_asn1(text, YearDigits)) return FormInstant{parsed->instant, !parsed->has_designator};
    return std::nullopt;
}

// Every 64-bit count of seconds fits in nanoseconds; only rendering may fail.
template <std::optional<int64_t> JwtClaims::*Claim>
std::optional<FormInstant> jwt(std::string_view text, FormMemo& memo) {
    if (!memo.jwt_claims) memo.jwt_claims = parse_jwt_claims(text);
    std::optional<JwtClaims> const& claims = *memo.jwt_claims;
    if (!claims || !((*claims).*Claim)) return std::nullopt;
    return FormInstant{PosixNs::from_seconds(*((*claims).*Claim)), false};
}

constexpr bool NAIVE = true;
constexpr bool ZONED = false;  // states its offset, or is defined in UTC

}  // namespace

// Rows: parsers, id, label, citation, note, naive, writer, rare, digit texts
// read. The order is the order in which readings appear, so it is part of the
// output.
constexpr auto STRING_FORM_ROWS = std::to_array<StringForm>({
    {parse_iso8601,
     nullptr,
     "iso8601",
     "ISO 8601 / RFC 3339 string",
     "ISO 8601:2019 / RFC 3339",
     "parsed as an ISO 8601 / RFC 3339 string (offset normalised to UTC)",
     ZONED,
     write_iso8601,
     false,
     NO_DIGIT_TEXT},
    {nullptr,
     asn1<4>,
     "asn1_generalizedtime",
     "ASN.1 GeneralizedTime",
     "ITU-T X.680 / RFC 5280 §4.1.2.5.2",
     "parsed as ASN.1 GeneralizedTime (4-digit year)",
     ZONED,
     write_generalized_time,
     false,
     {digit_counts(10, 10) | digit_counts(12, 12) | digit_counts(14, 14), 0}},
    {nullptr,
     asn1<2>,
     "asn1_utctime",
     "ASN.1 UTCTime",
     "ITU-T X.680 / RFC 5280 §4.1.2.5.1",
     "parsed as ASN.1 UTCTime (2-digit year; RFC 5280 pivot: <50 => 20YY, else 19YY)",
     ZONED,
     write_utc_time,
     false,
     {digit_counts(8, 8) | digit_counts(10, 10) | digit_counts(12, 12), 0}},
    {nullptr,
     jwt<&JwtClaims::iat>,
     "jwt_iat",
     "JWT issued-at (iat)",
     "RFC 7519 (JWT registered claims)",
     "JWT `iat` claim — Unix seconds",
     ZONED,
     write_jwt_iat,
     false,
     NO_DIGIT_TEXT},
    {nullptr,
     jwt<&JwtClaims::exp>,
     "jwt_exp",
     "JWT expiry (exp)",
     "RFC 7519 (JWT registered claims)",
     "JWT `exp` claim — Unix seconds",
     ZONED,
     write_jwt_exp,
     false,
     NO_DIGIT_TEXT},
    {nullptr,
     jwt<&JwtClaims::nbf>,
     "jwt_nbf",
     "JWT not-before (nbf)",
     "RFC 7519 (JWT registered claims)",
     "JWT `nbf` claim — Unix seconds",
     ZONED,
     write_jwt_nbf,
     false,
     NO_DIGIT_TEXT},
    {parse_ulid,
     nullptr,
     "ulid",
     "ULID (first 48 bits = Unix ms)",
     "ULID spec (Crockford base32; 48-bit ms timestamp)",
     "parsed as a ULID — the leading 48 bits are milliseconds since the Unix epoch",
     ZONED,
     write_ulid,
     false,
     NO_DIGIT_TEXT},
    {parse_uuid_v1,
     nullptr,
     "uuid_v1",
     "UUID version 1 (100ns since 1582-10-15)",
     "RFC 9562 §5.1 (UUIDv1 60-bit Gregorian timestamp)",
     "parsed as a UUIDv1 — a 60-bit count of 100ns intervals since 1582-10-15 UTC",
     ZONED,
     write_uuid_v1,
     false,
     NO_DIGIT_TEXT},
    {parse_uuid_v6,
     nullptr,
     "uuid_v6",
     "UUID version 6 (reordered 100ns since 1582-10-15)",
     "RFC 9562 §5.6 (UUIDv6 60-bit Gregorian timestamp)",
     "parsed as a UUIDv6 — the v1 Gregorian timestamp reordered most-significant-first",
     ZONED,
     write_uuid_v6,
     false,
     NO_DIGIT_TEXT},
    {parse_uuid_v7,
     nullptr,
     "uuid_v7",
     "UUID version 7 (Unix ms in the high 48 bits)",
     "RFC 9562 §5.7 (UUIDv7 48-bit Unix-ms timestamp)",
     "parsed as a UUIDv7 — the leading 48 bits are milliseconds since the Unix epoch",
     ZONED,
     write_uuid_v7,
     false,
     NO_DIGIT_TEXT},
    {parse_objectid,
     nullptr,
     "objectid",
     "MongoDB ObjectId (Unix seconds in the first 4 bytes)",
     "MongoDB ObjectId spec (4-byte big-endian Unix-seconds prefix)",
     "parsed as a MongoDB ObjectId — the first 4 bytes are big-endian Unix seconds",
     ZONED,
     write_objectid,
     false,
     NO_DIGIT_TEXT},
    {parse_google_ei,
     nullptr,
     "google_ei",
     "Google ei= URL parameter (Unix seconds in the first 4 bytes)",
     "Google ei URL param (urlsafe base64; first 4 bytes little-endian Unix seconds)",
     "parsed as a Google ei= URL parameter — the leading 4 bytes are little-endian Unix seconds",
     ZONED,
     write_google_ei,
     false,
     NO_DIGIT_TEXT},
    {parse_clf,
     nullptr,
     "clf",
     "Apache/nginx common-log-format date",
     "Apache mod_log_config (CLF): dd/Mon/YYYY:HH:MM:SS ±HHMM",
     "parsed as an Apache/nginx CLF date-time (offset normalised to UTC)",
     ZONED,
     write_clf,
     false,
     NO_DIGIT_TEXT},
    {parse_pdf_date,
     nullptr,
     "pdf_date",
     "PDF metadata date (D:YYYYMMDDHHmmSS)",
     "ISO 32000-1 §7.9.4 (PDF date string)",
     "parsed as a PDF metadata date (offset normalised to UTC)",
     ZONED,
     write_pdf_date,
     false,
     NO_DIGIT_TEXT},
    {parse_dmtf_cim,
     nullptr,
     "dmtf_cim",
     "DMTF/WMI CIM_DATETIME",
     "DMTF DSP0004 (CIM_DATETIME): yyyymmddHHMMSS.mmmmmm±UUU",
     "parsed as a DMTF/WMI CIM datetime — UUU is the offset in minutes east of UTC",
     ZONED,
     write_dmtf_cim,
     false,
     NO_DIGIT_TEXT},
    {parse_rfc2822,
     nullptr,
     "rfc2822",
     "RFC 2822 / email date",
     "RFC 5322 §3.3 (date-time; via jiff)",
     "parsed as an RFC 2822 date-time (offset normalised to UTC)",
     ZONED,
     write_rfc2822,
     false,
     NO_DIGIT_TEXT},
    {parse_exif,
     nullptr,
     "exif",
     "EXIF DateTime (YYYY:MM:DD HH:MM:SS)",
     "CIPA DC-008 (EXIF) DateTime / DateTimeOriginal",
     "parsed as an EXIF DateTime; NO offset is stored — assumed UTC, but is usually local time",
     NAIVE,
     write_exif,
     false,
     NO_DIGIT_TEXT},
    {parse_iso_ordinal,
     nullptr,
     "iso_ordinal",
     "ISO 8601 ordinal date (YYYY-DDD)",
     "ISO 8601 §5.2.2.1 (ordinal date)",
     "parsed as an ISO 8601 ordinal date (day-of-year), midnight UTC assumed",
     ZONED,
     write_iso_ordinal,
     false,
     NO_DIGIT_TEXT},
    {parse_iso_week,
     nullptr,
     "iso_week",
     "ISO 8601 week date (YYYY-Www-D)",
     "ISO 8601 §5.2.3 (week date)",
     "parsed as an ISO 8601 week date, midnight UTC assumed",
     ZONED,
     write_iso_week,
     false,
     NO_DIGIT_TEXT},
});
// The header states the count for the catalog's compile-time numbering.
static_assert(STRING_FORM_ROWS.size() == STRING_FORM_COUNT, "STRING_FORM_COUNT must be the number of rows");
constexpr std::array<StringForm, STRING_FORM_COUNT> STRING_FORMS = STRING_FORM_ROWS;
constexpr DigitReaders STRING_FORM_DIGIT_READERS = digit_readers(STRING_FORMS);

namespace {

// A short initialiser list would leave rows zeroed: every row needs an id of
// its own. (The parser pointers cannot be checked here: under the null
// sanitizer a function's address is not a constant.)
consteval bool rows_complete() {
    for (std::size_t i = 0; i < STRING_FORMS.size(); ++i) {
        if (STRING_FORMS[i].id.empty()) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (STRING_FORMS[i].id == STRING_FORMS[j].id) return false;
        }
    }
    return true;
}
static_assert(rows_complete());

}  // namespace

}  // namespace epochsift
