// The words an analyst types about where a value came from — the artifact,
// the field, the tool or the API — and the numeric families each implies,
// written from those artifacts' own documentation. A word is compared with
// its letters and digits only, ignoring case: `$MFT` is `mft`, `visit_time`
// is `visittime`, `places.sqlite` is `placessqlite`.
//
// Generic words ("date", "time", "message", "header", "id") say nothing
// about the format and carry no evidence; a word in neither list matches
// nothing and is reported as such.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/numeric_family_table.hpp"

namespace epochsift {

inline constexpr std::size_t HINT_TERM_FAMILIES = 6;

struct HintTerm {
    std::string_view word;  // as its documentation spells it
    std::array<std::string_view, HINT_TERM_FAMILIES> families;  // ids in NUMERIC_FAMILIES; empty: unused
};

namespace hint_vocabulary_detail {
using F = std::array<std::string_view, HINT_TERM_FAMILIES>;
inline constexpr F UNIX_COUNTS = {"unix", "unix_ms", "unix_us", "unix_ns", "unix_float"};
inline constexpr F WEBKIT = {"webkit"};
inline constexpr F FIREFOX = {"prtime", "unix_us"};
inline constexpr F COCOA = {"cocoa", "cocoa_float", "iostime"};
inline constexpr F FILETIME = {"filetime", "active"};
inline constexpr F FAT = {"fat"};
inline constexpr F HFS = {"hfsplus", "hfs"};
inline constexpr F SERIALS = {"ole", "excel1904", "serial_day"};
inline constexpr F OLE = {"ole", "serial_day"};
}  // namespace hint_vocabulary_detail

// One row a word; a word's spellings (fat32 beside fat) are rows of their own.
inline constexpr auto HINT_TERMS = [] {
    using namespace hint_vocabulary_detail;
    return std::array{
        // Browser history and cookies. Chromium's History (visits.visit_time,
        // urls.last_visit_time) and Cookies (creation_utc, expires_utc,
        // last_access_utc) hold WebKit time, microseconds since 1601
        // (chromium base/time/time.h, "Windows epoch"). Firefox places.sqlite
        // (moz_places.last_visit_date, moz_historyvisits.visit_date) holds
        // PRTime, microseconds since 1970 (NSPR prtime.h). Safari History.db
        // (history_visits.visit_time) holds Cocoa seconds as a REAL.
        HintTerm{"chrome", WEBKIT}, HintTerm{"chromium", WEBKIT}, HintTerm{"edge", WEBKIT},
        HintTerm{"opera", WEBKIT}, HintTerm{"brave", WEBKIT}, HintTerm{"vivaldi", WEBKIT},
        HintTerm{"webkit", WEBKIT},
        HintTerm{"visit_time", {"webkit", "cocoa", "cocoa_float"}},
        HintTerm{"last_visit_time", WEBKIT}, HintTerm{"creation_utc", WEBKIT}, HintTerm{"expires_utc", WEBKIT},
        HintTerm{"last_access_utc", WEBKIT}, HintTerm{"cookies", {"webkit", "prtime", "unix_us"}},
        HintTerm{"firefox", FIREFOX}, HintTerm{"mozilla", FIREFOX}, HintTerm{"places.sqlite", FIREFOX},
        HintTerm{"moz_places", FIREFOX}, HintTerm{"moz_historyvisits", FIREFOX}, HintTerm{"visit_date", FIREFOX},
        HintTerm{"last_visit_date", FIREFOX}, HintTerm{"dateAdded", FIREFOX}, HintTerm{"lastModified", FIREFOX},
        HintTerm{"PRTime", FIREFOX}, HintTerm{"NSPR", FIREFOX},
        HintTerm{"safari", {"cocoa_float", "cocoa"}}, HintTerm{"History.db", {"cocoa_float", "cocoa"}},
        HintTerm{"history_visits", {"cocoa_float", "cocoa"}},
        // NTFS: $STANDARD_INFORMATION and $FILE_NAME times in the MFT, the
        // $UsnJrnl and $LogFile, registry key LastWriteTime, event logs and
        // shortcuts all store FILETIME, 100 ns since 1601 ([MS-DTYP] 2.3.3).
        HintTerm{"ntfs", FILETIME}, HintTerm{"$MFT", FILETIME}, HintTerm{"$STANDARD_INFORMATION", FILETIME},
        HintTerm{"$FILE_NAME", FILETIME}, HintTerm{"$UsnJrnl", FILETIME}, HintTerm{"usn", FILETIME},
        HintTerm{"$LogFile", FILETIME}, HintTerm{"FILETIME", FILETIME}, HintTerm{"ToFileTime", FILETIME},
        HintTerm{"ToFileTimeUtc", FILETIME}, HintTerm{"FromFileTime", FILETIME}, HintTerm{"registry", FILETIME},
        HintTerm{"LastWriteTime", FILETIME}, HintTerm{"evtx", FILETIME}, HintTerm{"prefetch", FILETIME},
        HintTerm{"lnk", FILETIME}, HintTerm{"jumplist", FILETIME}, HintTerm{"windows", FILETIME},
        HintTerm{"win32", FILETIME},
        // Active Directory attributes of syntax Interval / LargeInteger hold
        // FILETIME ([MS-ADA1]: lastLogon, lastLogonTimestamp, pwdLastSet,
        // accountExpires, badPasswordTime, lockoutTime).
        HintTerm{"lastLogon", FILETIME}, HintTerm{"lastLogonTimestamp", FILETIME}, HintTerm{"pwdLastSet", FILETIME},
        HintTerm{"accountExpires", FILETIME}, HintTerm{"badPasswordTime", FILETIME},
        HintTerm{"lockoutTime", FILETIME}, HintTerm{"ActiveDirectory", FILETIME}, HintTerm{"ldap", FILETIME},
        // FAT directory entries (DIR_CrtTime/DIR_WrtDate, Microsoft's FAT32
        // File System document, fatgen103) and the ZIP local and central headers
        // (last mod file time/date, PKWARE APPNOTE 4.4.6) hold MS-DOS date and
        // time words; exFAT keeps the same fields with a zone byte (Microsoft's
        // exFAT document 7.4.8).
        HintTerm{"fat", FAT}, HintTerm{"fat12", FAT}, HintTerm{"fat16", FAT}, HintTerm{"fat32", FAT},
        HintTerm{"vfat", FAT}, HintTerm{"msdos", FAT}, HintTerm{"dos", FAT}, HintTerm{"DosDateTime", FAT},
        HintTerm{"DIR_WrtTime", FAT}, HintTerm{"DIR_CrtTime", FAT}, HintTerm{"zip", FAT}, HintTerm{"pkzip", FAT},
        HintTerm{"zipfile", FAT}, HintTerm{"jar", FAT}, HintTerm{"last_mod_file_time", FAT},
        HintTerm{"exfat", {"exfat", "fat"}},
        // Unix file systems and archives: ext2/3/4 inodes (i_mtime, i_ctime,
        // i_crtime), stat(2)'s st_mtime, tar and gzip headers' MTIME, git's
        // commit and index times are seconds since 1970 (st_mtim and
        // st_mtime_ns add nanoseconds); APFS stores nanoseconds since 1970.
        HintTerm{"ext2", {"unix"}}, HintTerm{"ext3", {"unix"}}, HintTerm{"ext4", {"unix", "unix_ns"}},
        HintTerm{"inode", {"unix"}}, HintTerm{"i_mtime", {"unix"}}, HintTerm{"i_crtime", {"unix"}},
        HintTerm{"st_mtime", {"unix", "unix_float"}}, HintTerm{"st_mtime_ns", {"unix_ns"}},
        HintTerm{"mtime", {"unix", "unix_float", "unix_ns"}}, HintTerm{"atime", {"unix", "unix_float", "unix_ns"}},
        HintTerm{"stat", {"unix", "unix_float", "unix_ns"}},
        HintTerm{"tar", {"unix"}}, HintTerm{"gzip", {"unix"}}, HintTerm{"git", {"unix"}},
        HintTerm{"apfs", {"unix_ns"}}, HintTerm{"time_t", {"unix"}},
        // HFS and HFS+ (Apple TN1150): seconds since 1904, local on HFS.
        HintTerm{"hfs", HFS}, HintTerm{"hfsplus", HFS},
        // Property lists and Foundation: NSDate / CFAbsoluteTime count
        // seconds since 2001 (Apple CFDate reference); Core Data stores it.
        HintTerm{"plist", COCOA}, HintTerm{"bplist", COCOA}, HintTerm{"plistlib", COCOA}, HintTerm{"NSDate", COCOA},
        HintTerm{"CFAbsoluteTime", COCOA}, HintTerm{"CFDate", COCOA}, HintTerm{"cocoa", COCOA},
        HintTerm{"CoreData", COCOA}, HintTerm{"timeIntervalSinceReferenceDate", COCOA},
        HintTerm{"KnowledgeC", COCOA}, HintTerm{"ios", COCOA}, HintTerm{"macos", COCOA},
        // Spreadsheets (ECMA-376-1 18.17.4: the 1900 and 1904 date systems,
        // workbookPr date1904) and OLE Automation dates (VariantTime,
        // DateTime.ToOADate: days since 1899-12-30).
        HintTerm{"excel", SERIALS}, HintTerm{"xlsx", SERIALS}, HintTerm{"xls", SERIALS},
        HintTerm{"spreadsheet", SERIALS}, HintTerm{"openpyxl", SERIALS}, HintTerm{"xlsxwriter", SERIALS},
        HintTerm{"1904", {"excel1904"}}, HintTerm{"date1904", {"excel1904"}}, HintTerm{"1900", OLE},
        HintTerm{"OADate", OLE}, HintTerm{"ToOADate", OLE}, HintTerm{"FromOADate", OLE}, HintTerm{"ole", OLE},
        HintTerm{"OleAutomation", OLE}, HintTerm{"VariantTime", OLE}, HintTerm{"VT_DATE", OLE},
        HintTerm{"lotus", OLE},
        // Time-prefixed identifiers, each from its publisher's layout:
        // Twitter/X status ids (Snowflake, 2010 epoch), Discord (2015 epoch,
        // discord.com/developers "Snowflakes"), Instagram (2011 epoch),
        // Mastodon (ms << 16, lib/mastodon/snowflake.rb), Sonyflake (10 ms
        // units since 2014-09-01), LinkedIn, TikTok, Gmail message ids.
        HintTerm{"discord", {"discord"}}, HintTerm{"guild", {"discord"}},
        HintTerm{"twitter", {"snowflake"}}, HintTerm{"tweet", {"snowflake"}}, HintTerm{"status_id", {"snowflake"}},
        HintTerm{"tweet_id", {"snowflake"}},
        HintTerm{"snowflake", {"snowflake", "discord", "instagram", "mastodon", "linkedin", "sony"}},
        HintTerm{"instagram", {"instagram"}}, HintTerm{"mastodon", {"mastodon"}}, HintTerm{"fediverse", {"mastodon"}},
        HintTerm{"sonyflake", {"sony"}}, HintTerm{"linkedin", {"linkedin"}}, HintTerm{"tiktok", {"tiktok"}},
        HintTerm{"gmail", {"gmsgid"}}, HintTerm{"telegram", {"telegram"}}, HintTerm{"ksuid", {"ksuid"}},
        // Language runtimes' clock APIs: Python time.time() (float seconds)
        // and time.time_ns(); JavaScript Date.now() and getTime() and Java
        // System.currentTimeMillis() (milliseconds); .NET DateTime.Ticks
        // (100 ns since 0001-01-01); Go's time.Now().Unix/UnixMilli/
        // UnixMicro/UnixNano.
        HintTerm{"time.time", {"unix_float"}}, HintTerm{"time_ns", {"unix_ns"}},
        HintTerm{"Date.now", {"unix_ms"}}, HintTerm{"getTime", {"unix_ms"}}, HintTerm{"javascript", {"unix_ms"}},
        HintTerm{"nodejs", {"unix_ms"}}, HintTerm{"currentTimeMillis", {"unix_ms"}},
        HintTerm{"System.currentTimeMillis", {"unix_ms"}}, HintTerm{"toEpochMilli", {"unix_ms"}},
        HintTerm{"getEpochSecond", {"unix"}}, HintTerm{"ticks", {"dotnet_ticks"}}, HintTerm{"DateTime.Ticks", {"dotnet_ticks"}},
        HintTerm{"dotnet", {"dotnet_ticks", "filetime"}}, HintTerm{"UnixNano", {"unix_ns"}},
        HintTerm{"UnixMicro", {"unix_us"}}, HintTerm{"UnixMilli", {"unix_ms"}},
        HintTerm{"ToUnixTimeSeconds", {"unix"}}, HintTerm{"ToUnixTimeMilliseconds", {"unix_ms"}},
        HintTerm{"millis", {"unix_ms"}}, HintTerm{"milliseconds", {"unix_ms"}}, HintTerm{"micros", {"unix_us"}},
        HintTerm{"microseconds", {"unix_us"}}, HintTerm{"nanos", {"unix_ns"}}, HintTerm{"nanoseconds", {"unix_ns"}},
        HintTerm{"unix", UNIX_COUNTS}, HintTerm{"posix", UNIX_COUNTS}, HintTerm{"epoch", UNIX_COUNTS},
        // Database functions: SQLite julianday() (days since the Julian
        // epoch), strftime('%s') and unixepoch() (Unix seconds); PostgreSQL
        // EXTRACT(EPOCH ...) (float seconds) beside its own storage,
        // microseconds since 2000 (src/include/datatype/timestamp.h).
        HintTerm{"julianday", {"sqlite_julian"}}, HintTerm{"julian", {"sqlite_julian", "mjd"}},
        HintTerm{"sqlite", {"sqlite_julian", "unix"}}, HintTerm{"strftime", {"unix"}},
        HintTerm{"unixepoch", {"unix"}}, HintTerm{"unix_timestamp", {"unix"}},
        HintTerm{"postgres", {"postgres", "unix_float"}}, HintTerm{"postgresql", {"postgres", "unix_float"}},
        HintTerm{"sqlserver", {"sqlserver"}}, HintTerm{"mssql", {"sqlserver"}},
        HintTerm{"jwt", {"unix"}}, HintTerm{"iat", {"unix"}}, HintTerm{"exp", {"unix"}}, HintTerm{"nbf", {"unix"}},
        // Other clocks named by their own standards.
        HintTerm{"gps", {"gps"}}, HintTerm{"ntp", {"ntp", "ntp64", "ntp_float"}}, HintTerm{"tai", {"tai", "tai_ms"}},
        HintTerm{"dhcpv6", {"dhcp6"}}, HintTerm{"duid", {"dhcp6"}}, HintTerm{"quicktime", {"quicktime"}},
        HintTerm{"mp4", {"quicktime"}}, HintTerm{"mov", {"quicktime"}}, HintTerm{"garmin", {"garmin"}},
        HintTerm{"symbian", {"symbian"}}, HintTerm{"sas", {"sas_date", "sas_datetime"}},
        HintTerm{"stata", {"stata_tc"}}, HintTerm{"spss", {"spss"}}, HintTerm{"matlab", {"matlab"}},
        HintTerm{"datenum", {"matlab"}}, HintTerm{"sms", {"gsm", "semioctet"}}, HintTerm{"gsm", {"gsm", "semioctet"}},
        HintTerm{"ese", {"logtime"}}, HintTerm{"jet", {"logtime"}},
    };
}();

// Words that name no format: the kind of value, not its form.
inline constexpr std::array<std::string_view, 60> GENERIC_HINT_WORDS = {
    "date", "time", "timestamp", "timestamps", "datetime", "ts", "value", "values", "field", "column",
    "id", "ids", "identifier", "message", "messages", "header", "headers", "record", "entry", "created",
    "modified", "updated", "changed", "accessed", "last", "first", "file", "files", "the", "from",
    "and", "of", "in", "at", "utc", "local", "history", "db", "database", "table",
    "log", "logs", "number", "integer", "int", "long", "object", "user", "post", "data",
    "event", "raw", "since", "attribute", "property", "format", "now", "system", "seconds", "count",
};

// A word as the vocabulary compares it: ASCII letters and digits only, in
// lower case. Returns the length written to out (at most out's size).
constexpr std::size_t squash_hint_word(std::string_view word, char* out, std::size_t capacity) {
    std::size_t n = 0;
    for (char c : word) {
        bool const digit = c >= '0' && c <= '9';
        bool const upper = c >= 'A' && c <= 'Z';
        bool const lower = c >= 'a' && c <= 'z';
        if (!digit && !upper && !lower) continue;
        if (n == capacity) return capacity + 1;  // longer than any vocabulary word
        out[n++] = upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return n;
}

// The longest squashed vocabulary word: a longer run names nothing.
inline constexpr std::size_t HINT_WORD_MAX = 40;

namespace hint_vocabulary_detail {

// A word squashed at compile time, with its row: the keys sorted, so that a
// word is looked up in log time whatever the hint's length.
struct SquashedKey {
    std::array<char, HINT_WORD_MAX> text{};
    uint8_t size = 0;
    uint8_t row = 0;

    constexpr std::string_view view() const { return {text.data(), size}; }
};

template <std::size_t N>
constexpr std::array<SquashedKey, N> sorted_keys(const std::array<std::string_view, N>& words) {
    std::array<SquashedKey, N> keys{};
    for (std::size_t i = 0; i < N; ++i) {
        std::size_t const n = squash_hint_word(words[i], keys[i].text.data(), HINT_WORD_MAX);
        keys[i].size = static_cast<uint8_t>(n > HINT_WORD_MAX ? 0 : n);  // checked below: every word fits
        keys[i].row = static_cast<uint8_t>(i);
    }
    std::sort(keys.begin(), keys.end(), [](const SquashedKey& a, const SquashedKey& b) { return a.view() < b.view(); });
    return keys;
}

inline constexpr auto TERM_KEYS = sorted_keys([] {
    std::array<std::string_view, HINT_TERMS.size()> words{};
    for (std::size_t i = 0; i < HINT_TERMS.size(); ++i) words[i] = HINT_TERMS[i].word;
    return words;
}());
inline constexpr auto GENERIC_KEYS = sorted_keys(GENERIC_HINT_WORDS);

// The place of squashed among keys, or N when it is not there. An index, not
// a pointer: GCC's sanitizers refuse a pointer's null test in a constant
// expression.
template <std::size_t N>
constexpr std::size_t find_key(const std::array<SquashedKey, N>& keys, std::string_view squashed) {
    auto const at = std::lower_bound(keys.begin(), keys.end(), squashed,
                                     [](const SquashedKey& key, std::string_view word) { return key.view() < word; });
    return at != keys.end() && at->view() == squashed ? static_cast<std::size_t>(at - keys.begin()) : N;
}

}  // namespace hint_vocabulary_detail

// The row of HINT_TERMS a squashed word names, or none.
constexpr std::optional<std::size_t> find_hint_term(std::string_view squashed) {
    using hint_vocabulary_detail::TERM_KEYS;
    std::size_t const at = hint_vocabulary_detail::find_key(TERM_KEYS, squashed);
    if (at == TERM_KEYS.size()) return std::nullopt;
    return TERM_KEYS[at].row;
}

constexpr bool is_generic_hint_word(std::string_view squashed) {
    using hint_vocabulary_detail::GENERIC_KEYS;
    return hint_vocabulary_detail::find_key(GENERIC_KEYS, squashed) != GENERIC_KEYS.size();
}

// The families of each row as rows of NUMERIC_FAMILIES, resolved once.
inline constexpr uint16_t NO_FAMILY = UINT16_MAX;
inline constexpr auto HINT_TERM_ROWS = [] {
    std::array<std::array<uint16_t, HINT_TERM_FAMILIES>, HINT_TERMS.size()> rows{};
    for (std::size_t t = 0; t < HINT_TERMS.size(); ++t) {
        for (std::size_t f = 0; f < HINT_TERM_FAMILIES; ++f) {
            rows[t][f] = NO_FAMILY;
            if (HINT_TERMS[t].families[f].empty()) continue;
            for (std::size_t n = 0; n < NUMERIC_FAMILIES.size(); ++n) {
                if (NUMERIC_FAMILIES[n].id == HINT_TERMS[t].families[f]) {
                    rows[t][f] = static_cast<uint16_t>(n);
                    break;
                }
            }
        }
    }
    return rows;
}();

namespace hint_vocabulary_detail {

consteval bool every_family_exists() {
    for (std::size_t t = 0; t < HINT_TERMS.size(); ++t) {
        if (HINT_TERMS[t].families[0].empty()) return false;  // a term names at least one family
        for (std::size_t f = 0; f < HINT_TERM_FAMILIES; ++f) {
            if (!HINT_TERMS[t].families[f].empty() && HINT_TERM_ROWS[t][f] == NO_FAMILY) return false;
        }
    }
    return true;
}

consteval bool words_distinct_and_short() {
    auto squashed_of = [](std::string_view word, std::array<char, HINT_WORD_MAX + 1>& buffer) {
        std::size_t const n = squash_hint_word(word, buffer.data(), HINT_WORD_MAX);
        return n == 0 || n > HINT_WORD_MAX ? std::string_view{} : std::string_view(buffer.data(), n);
    };
    std::array<char, HINT_WORD_MAX + 1> a{};
    for (std::size_t i = 0; i < HINT_TERMS.size(); ++i) {
        std::string_view const word = squashed_of(HINT_TERMS[i].word, a);
        if (word.empty()) return false;
        if (find_hint_term(word) != i) return false;  // an earlier row has the same word
        if (is_generic_hint_word(word)) return false;  // a word is generic or names families, not both
    }
    for (std::string_view generic : GENERIC_HINT_WORDS) {
        if (squashed_of(generic, a).empty()) return false;
    }
    for (std::size_t i = 1; i < TERM_KEYS.size(); ++i) {
        if (TERM_KEYS[i - 1].view() == TERM_KEYS[i].view()) return false;
    }
    return true;
}

}  // namespace hint_vocabulary_detail

static_assert(hint_vocabulary_detail::every_family_exists(), "every hint term names families of NUMERIC_FAMILIES");
static_assert(hint_vocabulary_detail::words_distinct_and_short(),
              "hint words are distinct after squashing, fit HINT_WORD_MAX, and are never also generic");
static_assert(HINT_TERMS.size() < UINT8_MAX, "a reading records the terms that raised it in a byte each");

}  // namespace epochsift
