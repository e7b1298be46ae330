// The command line's options, one row each: the parser, --help, the man
// page and the shell completions are all written from this table.
#pragma once

#include <array>
#include <string_view>

namespace epochsift::cli {

enum class OptionKind : unsigned char { Flag, Number, Text };

// The section of --help and of the man page an option is listed in.
enum class OptionGroup : unsigned char { Table, Reading, Batch, Scan, Zones, Other };

struct OptionRow {
    std::string_view name;
    OptionKind kind;
    OptionGroup group;
    std::string_view argument;  // the argument's name in the help; empty for a flag
    std::string_view help;      // sentences, wrapped where written
    std::string_view choices;   // the argument's values, space-separated, for completion; empty: free text
    bool file = false;          // the argument names a file (completion offers files)
};

inline constexpr OptionRow OPTIONS[] = {
    {"--all", OptionKind::Flag, OptionGroup::Table, "", "every reading, not only the best 10", ""},
    {"--notes", OptionKind::Flag, OptionGroup::Table, "", "each reading's assumptions under its row", ""},
    {"--json", OptionKind::Flag, OptionGroup::Table, "", "the readings as JSON instead, one line a value", ""},
    {"--hex", OptionKind::Flag, OptionGroup::Table, "",
     "read each VALUE as 1 to 16 hex bytes, even decimal digits (\"6817855a\", \"00 00 01 8b\", \"aa:bb\", \"0x1234\")",
     ""},
    {"--reference", OptionKind::Flag, OptionGroup::Reading, "",
     "the reference score alone, without the extended evidence; with no other reading option, exactly "
     "identify_json(VALUE)",
     ""},
    {"--hint", OptionKind::Text, OptionGroup::Reading, "TEXT",
     "the artifact the values came from (\"ntfs\", \"chrome\", ...); standard error names the formats each word "
     "matched, and the words that matched none",
     ""},
    {"--width", OptionKind::Number, OptionGroup::Reading, "N", "the stored field's width in bytes, 1 to 16",
     "1 2 4 8 16"},
    {"--endian", OptionKind::Text, OptionGroup::Reading, "ORDER", "the stored field's byte order: little or big",
     "little big"},
    {"--window", OptionKind::Text, OptionGroup::Reading, "SPAN",
     "the instants expected, replacing every family's own window: a year, month or day (2023, 2023-05, "
     "2023-05-01), or START..END, each side one of those (an end takes in all of it), an RFC 3339 date-time with "
     "an offset, or an integer with its unit (1700000000s, ms, us, ns)",
     ""},
    {"--batch", OptionKind::Flag, OptionGroup::Batch, "",
     "read one value a line of FILE (or of standard input); write each line's fields followed by the best "
     "reading of each column read (CSV, or JSON Lines with --json)",
     ""},
    {"--column", OptionKind::Text, OptionGroup::Batch, "COLUMNS",
     "the fields to read: numbers from 1 or header names, separated by commas (default: the whole line)", ""},
    {"--header", OptionKind::Text, OptionGroup::Batch, "WHEN",
     "whether the first line names the fields: auto (when no field read from it holds a timestamp), yes or no",
     "auto yes no"},
    {"--delimiter", OptionKind::Text, OptionGroup::Batch, "C",
     "field delimiter for --column (default ','; 'tab' or '\\t' for a tab)", "tab , ; |"},
    {"--every", OptionKind::Flag, OptionGroup::Batch, "",
     "every reading of each value instead of the best (JSON Lines: {\"value\": ..., \"readings\": [...]})", ""},
    {"--best", OptionKind::Number, OptionGroup::Batch, "K",
     "CSV rows value,rank,format_id,rendered,score,error for the best K readings of each value", ""},
    {"--threads", OptionKind::Number, OptionGroup::Batch, "N", "worker threads (default: every core)", ""},
    {"--max-line", OptionKind::Number, OptionGroup::Batch, "BYTES",
     "longest line read (default 1048576); a longer one is skipped and its record carries an error", ""},
    {"--infer", OptionKind::Flag, OptionGroup::Batch, "",
     "the column's verdicts (which format reads the values as a whole) instead of one record a value", ""},
    {"--by-column", OptionKind::Flag, OptionGroup::Batch, "",
     "lead each record with its reading in the column's best format; the column is read twice (a pipe through "
     "a temporary file), so records start once the input ends",
     ""},
    {"--quiet", OptionKind::Flag, OptionGroup::Batch, "", "no progress line on a terminal", ""},
    {"--scan", OptionKind::Flag, OptionGroup::Scan, "",
     "a table of the timestamps stored in FILE's bytes (or standard input's, for -), at every offset, by "
     "offset (hex); --all for every raw hit (each decoding whose instant is in the window); --width, --window and "
     "--threads as above",
     ""},
    {"--csv", OptionKind::Flag, OptionGroup::Scan, "", "the scan's hits as CSV (--json: JSON Lines) instead of the table",
     ""},
    {"--formats", OptionKind::Text, OptionGroup::Scan, "IDS",
     "only these families and records (comma-separated ids; default: the common ones, no rare device layouts)",
     ""},
    {"--encode", OptionKind::Text, OptionGroup::Zones, "WHEN",
     "every family's value for one instant (RFC 3339 text, integer nanoseconds since 1970 UTC, or now); with "
     "--local-zone, WHEN may be that zone's wall clock (2024-03-31T02:30:00); the wall-clock families are "
     "written in --tz's (else --local-zone's) wall clock",
     "now"},
    {"--tz", OptionKind::Text, OptionGroup::Zones, "ZONE",
     "each reading's wall clock, offset and abbreviation in ZONE (an IANA name such as Europe/Berlin, or +05:30)",
     ""},
    {"--local-zone", OptionKind::Text, OptionGroup::Zones, "ZONE",
     "read wall-clock families (FAT/DOS, EXIF, naive date-times) as ZONE's local time", ""},
    {"--completion", OptionKind::Text, OptionGroup::Other, "SHELL",
     "print the completion script for bash, zsh or fish", "bash zsh fish"},
    {"--man", OptionKind::Flag, OptionGroup::Other, "", "print the manual page (roff)", ""},
    {"--version", OptionKind::Flag, OptionGroup::Other, "", "print the version", ""},
    {"--help", OptionKind::Flag, OptionGroup::Other, "", "this text (also -h)", ""},
};

struct GroupRow {
    OptionGroup group;
    std::string_view title;
};

inline constexpr GroupRow GROUPS[] = {
    {OptionGroup::Table, "Table output"},
    {OptionGroup::Reading, "Reading (table, --json and --batch)"},
    {OptionGroup::Batch, "Batch (one value a line of FILE, or of standard input when FILE is - or absent)"},
    {OptionGroup::Scan, "Scan (the timestamps stored in a file's bytes, at every offset)"},
    {OptionGroup::Zones, "Instants and zones"},
    {OptionGroup::Other, "Other"},
};

consteval bool names_are_unique_options() {
    for (std::size_t i = 0; i < std::size(OPTIONS); ++i) {
        if (!OPTIONS[i].name.starts_with("--")) return false;
        if ((OPTIONS[i].kind == OptionKind::Flag) != OPTIONS[i].argument.empty()) return false;
        for (std::size_t j = i + 1; j < std::size(OPTIONS); ++j) {
            if (OPTIONS[i].name == OPTIONS[j].name) return false;
        }
    }
    return true;
}
static_assert(names_are_unique_options(), "each option once, named --..., an argument name exactly when it takes one");

consteval bool groups_in_order() {
    for (std::size_t i = 0; i < std::size(GROUPS); ++i) {
        if (static_cast<std::size_t>(GROUPS[i].group) != i) return false;
    }
    return true;
}
static_assert(groups_in_order(), "GROUPS rows sit at their group's index");

}  // namespace epochsift::cli
