#include "formats/extended_string_forms.hpp"

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

}  // namespace

// Rows: instant or form parser, id, label, citation, note, naive, writer. The syslog form needs the
// caller's window and is read by the engine on its own.
constexpr std::array<StringForm, EXTENDED_STRING_FORM_COUNT> EXTENDED_STRING_FORMS = {{
    {nullptr, form<parse_iso_wall_clock>, "iso8601_wall_clock", "ISO 8601 date-time without offset (LOCAL time)",
     "ISO 8601:2019 §4.3 (local time, no UTC designator)",
     "parsed as an ISO 8601 date or date-time with no offset — wall-clock time, read as UTC", NAIVE},
    {nullptr, form<parse_iso_space_offset>, "iso8601_space_offset", "Date-time with a space before the offset (git %ci)",
     "git-log(1) --format=%ci (ISO 8601-like)",
     "parsed as YYYY-MM-DD hh:mm:ss ±hhmm (offset normalised to UTC)"},
    {nullptr, form<parse_ctime>, "ctime", "C asctime/ctime or date(1) output", "ISO C 7.27.3.1 asctime; POSIX date(1)",
     "parsed as Www Mmm dd hh:mm:ss [zone] YYYY — a zone other than UTC/GMT is not interpreted"},
    {nullptr, form<parse_js_date_string>, "js_date_string", "JavaScript Date.prototype.toString()", "ECMA-262 §21.4.4.41",
     "parsed as a JavaScript Date string (GMT offset normalised to UTC)"},
    {nullptr, stated<parse_seconds_nanoseconds>, "unix_timespec", "Unix seconds:nanoseconds pair",
     "POSIX struct timespec (tv_sec, tv_nsec)", "parsed as Unix seconds, a colon, then nanoseconds"},
    {nullptr, stated<parse_ksuid>, "ksuid_string", "KSUID string (s since 2014-05-13)", "Segment KSUID (base62, 20 bytes)",
     "parsed as a KSUID — the first 4 bytes are seconds since 2014-05-13T16:53:20Z"},
    {nullptr, stated<parse_xid>, "xid", "xid (Unix seconds in the first 4 bytes)", "rs/xid (base32hex, 12 bytes)",
     "parsed as an xid — the first 4 bytes are big-endian Unix seconds"},
    {nullptr, stated<parse_bluesky_tid>, "bluesky_tid", "Bluesky / AT Protocol TID (Unix µs)",
     "AT Protocol TID (base32-sortable, 53-bit µs)",
     "parsed as an AT Protocol TID — 53 bits of Unix microseconds above a 10-bit clock id"},
    {nullptr, stated<parse_firebase_push_id>, "firebase_push_id", "Firebase push ID (Unix ms in 8 characters)",
     "Firebase Realtime Database push IDs (48-bit ms prefix)",
     "parsed as a Firebase push ID — the first 8 characters are Unix milliseconds"},
    {nullptr, stated<parse_fernet>, "fernet", "Fernet token (Unix seconds)", "Fernet specification (version 0x80)",
     "parsed as a Fernet token — bytes 1 to 8 are big-endian Unix seconds of its creation"},
    {nullptr, stated<parse_ga_cookie>, "ga_cookie", "Google Analytics _ga cookie (Unix seconds)",
     "Google Analytics client ID (GA1.n.random.timestamp)",
     "parsed as a _ga cookie — the last field is the Unix second the client ID was made"},
    {nullptr, stated<parse_fbp_cookie>, "fbp_cookie", "Facebook _fbp cookie (Unix ms)",
     "Meta Conversions API fbp parameter (fb.n.ms.random)",
     "parsed as an _fbp cookie — the third field is the Unix millisecond the cookie was made"},
    {parse_tar_mtime, nullptr, "tar_mtime", "tar header mtime (octal Unix seconds)",
     "POSIX.1-2017 pax, ustar Interchange Format (mtime: 12-byte octal field)",
     "parsed as eleven octal digits of Unix seconds, as a ustar header's mtime field holds them", false,
     write_tar_mtime},
}};

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
