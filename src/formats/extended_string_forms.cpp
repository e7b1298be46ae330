#include "formats/extended_string_forms.hpp"

#include <algorithm>

#include "formats/forensic_tokens.hpp"
#include "formats/tar_time.hpp"
#include "formats/token_identifiers.hpp"
#include "formats/two_part.hpp"
#include "formats/wall_clock_text.hpp"

namespace epochsift {

namespace {

template <std::optional<PosixNs> (*Parse)(std::string_view)>
std::optional<FormInstant> stated(std::string_view text, FormMemo&) {
    if (auto const instant = Parse(text)) return FormInstant{*instant, false};
    return std::nullopt;
}

template <std::optional<FormInstant> (*Parse)(std::string_view)>
std::optional<FormInstant> form(std::string_view text, FormMemo&) {
    return Parse(text);
}

constexpr bool NAIVE = true;
constexpr bool RARE = true;

}  // namespace

// Rows: instant or form parser, id, label, citation, note, naive, writer, rare, digit texts read.
constexpr auto EXTENDED_STRING_FORM_ROWS = std::to_array<StringForm>({
    {nullptr, form<parse_iso_wall_clock>, "iso8601_wall_clock", "ISO 8601 date-time without offset (LOCAL time)",
     "ISO 8601:2019 §4.3 (local time, no UTC designator)",
     "parsed as an ISO 8601 date or date-time with no offset — wall-clock time, read as UTC",
     NAIVE, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, form<parse_iso_space_offset>, "iso8601_space_offset", "Date-time with a space before the offset (git %ci)",
     "git-log(1) --format=%ci (ISO 8601-like)",
     "parsed as YYYY-MM-DD hh:mm:ss ±hhmm (offset normalised to UTC)", false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, form<parse_ctime>, "ctime", "C asctime/ctime or date(1) output", "ISO C 7.27.3.1 asctime; POSIX date(1)",
     "parsed as Www Mmm dd hh:mm:ss [zone] YYYY — a zone other than UTC/GMT is not interpreted",
     false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, form<parse_js_date_string>, "js_date_string", "JavaScript Date.prototype.toString()", "ECMA-262 §21.4.4.41",
     "parsed as a JavaScript Date string (GMT offset normalised to UTC)", false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, stated<parse_seconds_nanoseconds>, "unix_timespec", "Unix seconds:nanoseconds pair",
     "POSIX struct timespec (tv_sec, tv_nsec)", "parsed as Unix seconds, a colon, then nanoseconds",
     false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, stated<parse_ksuid>, "ksuid_string", "KSUID string (s since 2014-05-13)", "Segment KSUID (base62, 20 bytes)",
     "parsed as a KSUID — the first 4 bytes are seconds since 2014-05-13T16:53:20Z",
     false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, stated<parse_xid>, "xid", "xid (Unix seconds in the first 4 bytes)", "rs/xid (base32hex, 12 bytes)",
     "parsed as an xid — the first 4 bytes are big-endian Unix seconds",
     false, nullptr, false, {digit_counts(20, 20), 0}},
    {nullptr, stated<parse_bluesky_tid>, "bluesky_tid", "Bluesky / AT Protocol TID (Unix µs)",
     "AT Protocol TID (base32-sortable, 53-bit µs)",
     "parsed as an AT Protocol TID — 53 bits of Unix microseconds above a 10-bit clock id",
     false, nullptr, false, {digit_counts(13, 13), 0}},
    {nullptr, stated<parse_firebase_push_id>, "firebase_push_id", "Firebase push ID (Unix ms in 8 characters)",
     "Firebase Realtime Database push IDs (48-bit ms prefix)",
     "parsed as a Firebase push ID — the first 8 characters are Unix milliseconds",
     false, nullptr, false, {digit_counts(20, 20), digit_counts(19, 19)}},
    {nullptr, stated<parse_fernet>, "fernet", "Fernet token (Unix seconds)", "Fernet specification (version 0x80)",
     "parsed as a Fernet token — bytes 1 to 8 are big-endian Unix seconds of its creation",
     false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, stated<parse_ga_cookie>, "ga_cookie", "Google Analytics _ga cookie (Unix seconds)",
     "Google Analytics client ID (GA1.n.random.timestamp)",
     "parsed as a _ga cookie — the last field is the Unix second the client ID was made",
     false, nullptr, false, NO_DIGIT_TEXT},
    {nullptr, stated<parse_fbp_cookie>, "fbp_cookie", "Facebook _fbp cookie (Unix ms)",
     "Meta Conversions API fbp parameter (fb.n.ms.random)",
     "parsed as an _fbp cookie — the third field is the Unix millisecond the cookie was made",
     false, nullptr, false, NO_DIGIT_TEXT},
    {parse_xray_trace_id, nullptr, "xray_trace_id", "AWS X-Ray trace ID (Unix seconds)",
     "AWS X-Ray Developer Guide (tracing header: 1-8 hex seconds-24 hex)",
     "parsed as an X-Ray trace id — the 8 hex digits after \"1-\" are Unix seconds",
     false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_cuid, nullptr, "cuid", "cuid (Unix ms in 8 base-36 digits)", "paralleldrive/cuid (c + base-36 blocks)",
     "parsed as a cuid — characters 2 to 9 are Unix milliseconds in base 36", false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_s32_time, nullptr, "s32_time", "S32 sortable base-32 time (Unix ms, 9 symbols)",
     "AT Protocol record keys (s32, alphabet 234567a-z)",
     "parsed as nine S32 symbols of Unix milliseconds", false, nullptr, RARE, {digit_counts(9, 9), 0}},
    {parse_horolog, nullptr, "horolog", "MUMPS $HOROLOG (days since 1840-12-31,seconds; LOCAL time)",
     "ANSI X11.1 MUMPS ($HOROLOG)",
     "parsed as days since 1840-12-31, a comma, then seconds since midnight — wall-clock time, read as UTC",
     NAIVE, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_vmsd_time, nullptr, "vmsd_time", "VMware .vmsd createTimeHigh,createTimeLow (Unix µs)",
     "VMware snapshot descriptor (.vmsd createTimeHigh/Low)",
     "parsed as two signed 32-bit words of Unix microseconds, high word first", false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_ext4_time, nullptr, "ext4_time", "ext4 inode time:extra (s + epoch bits + ns)",
     "Linux Documentation/filesystems/ext4 (inode timestamps, *_extra)",
     "parsed as the 32-bit seconds, a colon, then the extra word: 2 epoch bits under 30 bits of nanoseconds",
     false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_hotmail_time, nullptr, "hotmail_filetime", "Hotmail FILETIME (high:low DWORDs, each LE)",
     "time-decode (Microsoft Hotmail time)",
     "parsed as FILETIME high and low DWORDs, each written as its little-endian bytes",
     false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_gclid, nullptr, "gclid", "Google click ID gclid (Unix µs)", "Google Ads gclid (base64url protobuf, field 1)",
     "parsed as a gclid — protobuf field 1 is the click's Unix microseconds",
     // Digits and '-' decode to bytes of 0x34 and up, and the key of field 1
     // is a byte of 0x08 to 0x0F (or a longer varint ending in 0x00): none.
     false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_ved, nullptr, "ved", "Google search ved parameter (Unix µs)",
     "Google search ved (version digit + base64url protobuf, field 13.1.1)",
     "parsed as a ved — protobuf field 13.1.1 is the result page's Unix microseconds",
     // As for gclid: no field 1 under field 13 in bytes decoded from digits.
     false, nullptr, RARE, NO_DIGIT_TEXT},
    {parse_metasploit_uuid, nullptr, "metasploit_uuid", "Metasploit payload UUID (Unix seconds)",
     "Metasploit Framework Rex::Payloads::Meterpreter::UUID",
     "parsed as a payload UUID — the last 4 bytes, unmasked by the xor keys, are Unix seconds", false, nullptr,
     RARE, NO_DIGIT_TEXT},
    {parse_biome_double, nullptr, "biome_double", "Apple Biome binary64 bits as an integer (Cocoa seconds)",
     "Apple Biome SEGB records (binary64 Cocoa time)",
     "parsed as the bits of an IEEE 754 double of seconds since 2001-01-01",
     false, nullptr, RARE, {digit_counts(19, 20), 0}},
    {parse_gsm_digits, nullptr, "gsm_digits", "GSM 7-byte semi-octet timestamp written in digits",
     "3GPP TS 23.040 §9.2.3.11 (TP-Service-Centre-Time-Stamp)",
     "parsed as the 14 hex digits of a GSM time stamp, all of them decimal — wall-clock time, read as UTC",
     NAIVE, nullptr, RARE, {digit_counts(14, 14), 0}},
    {parse_tar_mtime, nullptr, "tar_mtime", "tar header mtime (octal Unix seconds)",
     "POSIX.1-2017 pax, ustar Interchange Format (mtime: 12-byte octal field)",
     "parsed as eleven octal digits of Unix seconds, as a ustar header's mtime field holds them", false,
     write_tar_mtime, false, {digit_counts(11, 11), 0}},
    // No parser in the row: the year comes from the caller's window, so the engine reads it on its own.
    {nullptr, nullptr, "syslog", "syslog RFC 3164 timestamp (no year, LOCAL time)", "RFC 3164 §4.1.2 (TIMESTAMP)",
     "parsed as Mmm dd hh:mm:ss with the year the caller's window fixes", NAIVE, nullptr, false, NO_DIGIT_TEXT},
});
// The header states the count for the catalog's compile-time numbering.
static_assert(EXTENDED_STRING_FORM_ROWS.size() == EXTENDED_STRING_FORM_COUNT,
              "EXTENDED_STRING_FORM_COUNT must be the number of rows");
constexpr std::array<StringForm, EXTENDED_STRING_FORM_COUNT> EXTENDED_STRING_FORMS = EXTENDED_STRING_FORM_ROWS;
constexpr DigitReaders EXTENDED_FORM_DIGIT_READERS = digit_readers(EXTENDED_STRING_FORMS);

// The wall-clock texts start with a year or a weekday and hold a day and a
// clock in digits; every other row's parser checks each character against
// an alphabet of digits, letters and its separators.
constexpr std::array<std::string_view, 4> DATE_TIME_FORMS = {"iso8601_wall_clock", "iso8601_space_offset", "ctime",
                                                              "js_date_string"};
constexpr std::array<FormText, EXTENDED_STRING_FORM_COUNT> EXTENDED_FORM_TEXT = [] {
    std::array<FormText, EXTENDED_STRING_FORM_COUNT> classes{};
    for (std::size_t i = 0; i < EXTENDED_STRING_FORM_COUNT; ++i) {
        classes[i] = FormText::Token;
        if (EXTENDED_STRING_FORMS[i].id == "syslog") classes[i] = FormText::YearFromWindow;
        for (std::string_view id : DATE_TIME_FORMS) {
            if (EXTENDED_STRING_FORMS[i].id == id) classes[i] = FormText::DateTime;
        }
    }
    return classes;
}();
static_assert(static_cast<std::size_t>(std::count(EXTENDED_FORM_TEXT.begin(), EXTENDED_FORM_TEXT.end(),
                                                  FormText::DateTime)) == DATE_TIME_FORMS.size(),
              "every date-time form names a row");
static_assert(std::count(EXTENDED_FORM_TEXT.begin(), EXTENDED_FORM_TEXT.end(), FormText::YearFromWindow) == 1,
              "the syslog row is in the table");
constexpr std::size_t SYSLOG_ROW_AT = [] {
    std::size_t i = 0;
    while (EXTENDED_FORM_TEXT[i] != FormText::YearFromWindow) ++i;
    return i;
}();
const StringForm& SYSLOG_FORM = EXTENDED_STRING_FORMS[SYSLOG_ROW_AT];

namespace {
consteval bool rows_complete() {
    for (std::size_t i = 0; i < EXTENDED_STRING_FORMS.size(); ++i) {
        if (EXTENDED_STRING_FORMS[i].id.empty()) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (EXTENDED_STRING_FORMS[i].id == EXTENDED_STRING_FORMS[j].id) return false;
        }
    }
    return true;
}
static_assert(rows_complete());
}  // namespace

}  // namespace epochsift
