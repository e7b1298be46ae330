#include "cli/options.hpp"

#include <charconv>

#include "cli/utf8.hpp"
#include "cli/window_text.hpp"
#include "core/ascii_scan.hpp"

namespace epochsift::cli {

const std::string_view USAGE =
    "usage: epochsift [options] VALUE...\n"
    "       epochsift --batch [options] [FILE|-]\n"
    "\n"
    "Shows which timestamp formats each VALUE could be in and the instant each\n"
    "reading gives, best first. Put -- before a value that starts with a dash\n"
    "(negative numbers such as -1 need none).\n"
    "\n"
    "Table output:\n"
    "  --all            every reading, not only the best 10\n"
    "  --notes          each reading's assumptions under its row\n"
    "  --json           the readings as JSON instead, one line a value\n"
    "  --hex            read each VALUE as 1 to 16 hex bytes, even decimal digits\n"
    "                   (\"6817855a\", \"00 00 01 8b\", \"aa:bb\", \"0x1234\")\n"
    "\n"
    "Reading (table, --json and --batch):\n"
    "  --reference      the reference score alone, without the extended evidence;\n"
    "                   with no other reading option, exactly identify_json(VALUE)\n"
    "  --hint TEXT      the artifact the values came from (\"ntfs\", \"chrome\", ...)\n"
    "  --width N        the stored field's width in bytes, 1 to 16\n"
    "  --endian ORDER   the stored field's byte order: little or big\n"
    "  --window START..END  the instants expected (each side RFC 3339 text with an\n"
    "                   offset, or integer nanoseconds since 1970 UTC); replaces\n"
    "                   every family's own window\n"
    "\n"
    "Batch (one value a line of FILE, or of standard input when FILE is - or absent):\n"
    "  --batch          JSON Lines: {\"value\": ..., \"readings\": [...]} a line\n"
    "  --best K         CSV instead: value,rank,format_id,rendered,score,error\n"
    "                   for the best K readings of each value\n"
    "  --column N       read field N (from 1) of each line\n"
    "  --delimiter C    field delimiter for --column (default ','; 'tab' or '\\t' for a tab)\n"
    "  --threads N      worker threads (default: every core)\n"
    "  --max-line BYTES longest line read (default 1048576); a longer one is\n"
    "                   skipped and its record carries an error\n"
    "  --infer          the column's verdicts (which format reads the values as a\n"
    "                   whole) instead of one record a value\n"
    "  --by-column      lead each record with its reading in the column's best\n"
    "                   format; the column is read twice (a pipe through a\n"
    "                   temporary file), so records start once the input ends\n"
    "\n"
    "Instants and zones:\n"
    "  --encode WHEN    every family's value for one instant (RFC 3339 text,\n"
    "                   integer nanoseconds since 1970 UTC, or now)\n"
    "  --tz ZONE        each reading's wall clock, offset and abbreviation in ZONE\n"
    "                   (an IANA name such as Europe/Berlin, or +05:30)\n"
    "  --local-zone ZONE  read wall-clock families (FAT/DOS, EXIF, naive date-times)\n"
    "                   as ZONE's local time\n"
    "\n"
    "  -h, --help       this text\n"
    "\n"
    "Flags in the table: sentinel (an unset/never marker value), local (wall-clock\n"
    "time with no offset, read as UTC), outside-window (outside the family's\n"
    "plausibility window). Readings whose scores are equal as shown share a rank.\n"
    "\n"
    "Exit status: 0 done; 1 the output could not be written, or out of memory;\n"
    "2 usage error or unreadable input; 3 (batch) some lines could not be read:\n"
    "their records carry the error and stderr names each line.\n";

namespace {

enum class OptionKind : unsigned char { Flag, Number, Text };

struct OptionRow {
    std::string_view name;
    OptionKind kind;
};

constexpr OptionRow OPTIONS[] = {
    {"--all", OptionKind::Flag},       {"--notes", OptionKind::Flag},
    {"--hex", OptionKind::Flag},     {"--json", OptionKind::Flag},
    {"--batch", OptionKind::Flag},     {"--best", OptionKind::Number},    {"--column", OptionKind::Number},
    {"--delimiter", OptionKind::Text}, {"--threads", OptionKind::Number}, {"--help", OptionKind::Flag},
    {"--max-line", OptionKind::Number},
    {"--encode", OptionKind::Text},    {"--tz", OptionKind::Text},        {"--local-zone", OptionKind::Text},
    {"--reference", OptionKind::Flag}, {"--hint", OptionKind::Text},      {"--width", OptionKind::Number},
    {"--endian", OptionKind::Text},    {"--window", OptionKind::Text},    {"--infer", OptionKind::Flag},
    {"--by-column", OptionKind::Flag},
};

// Byte widths a stored integer field may have.
constexpr std::size_t MAX_BYTE_WIDTH = 16;

// Thread counts beyond this are a typing slip, not a machine.
constexpr std::size_t MAX_THREADS = 4096;

// A dash that starts a negative number is a value, not an option.
bool is_negative_number(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    if ((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.') return true;
    std::string_view const rest = arg.substr(1);
    return equals_ignoring_ascii_case(rest, "inf") || equals_ignoring_ascii_case(rest, "infinity") ||
           equals_ignoring_ascii_case(rest, "nan");
}

std::optional<std::size_t> positive_number(std::string_view text) {
    std::size_t value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

// The delimiter as given: one character, or a name for the tab.
std::optional<std::string> delimiter_of(std::string_view text) {
    if (text == "tab" || text == "\\t") return std::string("\t");
    if (text.empty() || !is_valid_utf8(text)) return std::nullopt;
    // One character: in valid UTF-8 every byte after its first is a continuation byte.
    for (std::size_t i = 1; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return std::nullopt;
    }
    if (text == "\"" || text == "\n" || text == "\r") return std::nullopt;
    return std::string(text);
}

bool reading_options_given(const CliOptions& o) {
    const IntContext& context = o.read.context;
    return context.artifact_hint || context.byte_order || context.byte_width || o.read.window;
}

std::string check_mode(CliOptions& o, bool json) {
    o.json = json;
    bool const batch = o.mode == Mode::Batch;
    if (o.encode) {
        if (batch) return "--encode and --batch do not mix";
        if (!o.values.empty()) return "--encode takes one instant and no values";
        if (o.local_zone) return "--local-zone reads values; --encode writes them";
        if (o.all || o.notes) return "--encode prints every family; drop --all and --notes";
        if (o.reference || reading_options_given(o)) return "--encode writes values; the reading options do not apply";
        for (auto const& [given, name] :
             {std::pair{o.hex, "--hex"}, std::pair{o.best.has_value(), "--best"},
              std::pair{o.threads.has_value(), "--threads"}, std::pair{o.infer, "--infer"},
              std::pair{o.by_column, "--by-column"}, std::pair{o.max_line.has_value(), "--max-line"},
              std::pair{o.column.has_value(), "--column"}, std::pair{o.delimiter.has_value(), "--delimiter"}}) {
            if (given) return std::string(name) + " does not apply to --encode";
        }
        o.mode = Mode::Encode;
        return {};
    }
    if (batch && (o.tz || o.local_zone)) return "--tz and --local-zone apply to the table and --json, not to --batch";
    if (!batch && (o.infer || o.by_column)) return std::string(o.infer ? "--infer" : "--by-column") + " applies to --batch only";
    if (o.infer && o.by_column) return "--infer prints verdicts, --by-column records; choose one";
    if (o.infer && o.best) return "--best picks readings of each value; --infer prints the column's verdicts";
    if (o.hex && o.reference) return "--hex readings are always extended; drop --reference";
    if (o.hex && o.read.context.byte_width) return "--hex takes the width from the bytes given; drop --width";
    if (batch) {
        if (o.values.size() > 1) return "--batch reads one input; got " + std::to_string(o.values.size());
        if (o.all || o.notes) return "--all and --notes apply to the table, not to --batch";
        if (o.hex) return "--hex applies to the values given, not to --batch";
        if (json && o.best) return "--best writes CSV; drop --json";
        if (o.delimiter && !o.column) o.column = 1;
        return {};
    }
    for (auto const& [given, name] : {std::pair{o.best.has_value(), "--best"}, std::pair{o.column.has_value(), "--column"},
                                     std::pair{o.delimiter.has_value(), "--delimiter"},
                                     std::pair{o.threads.has_value(), "--threads"},
                                     std::pair{o.max_line.has_value(), "--max-line"}}) {
        if (given) return std::string(name) + " applies to --batch only";
    }
    if (json) {
        if (o.all || o.notes) return "--json prints every reading with its notes; drop --all and --notes";
        o.mode = Mode::Json;
    }
    if (o.values.empty()) return "no value given (try epochsift --help)";
    return {};
}

}  // namespace

ParsedOptions parse_options(std::span<char* const> args) {
    ParsedOptions parsed;
    CliOptions& o = parsed.options;
    auto const fail = [&](std::string message) {
        parsed.error = std::move(message);
        return parsed;
    };
    bool json = false, only_values = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view const arg = args[i];
        if (only_values || arg.size() < 2 || arg[0] != '-' || is_negative_number(arg)) {
            o.values.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_values = true;
            continue;
        }
        if (arg == "-h") {
            o.mode = Mode::Help;
            return parsed;
        }
        std::size_t const equals = arg.find('=');
        std::string_view const name = arg.substr(0, equals);
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : OPTIONS) {
            if (candidate.name == name) row = &candidate;
        }
        if (row == nullptr) return fail("unknown option " + std::string(name) + " (try epochsift --help)");

        std::optional<std::string_view> argument;
        if (equals != std::string_view::npos) argument = arg.substr(equals + 1);
        if (row->kind == OptionKind::Flag) {
            if (argument) return fail("option " + std::string(name) + " takes no value");
        } else if (!argument) {
            if (i + 1 == args.size()) return fail("option " + std::string(name) + " needs a value");
            argument = args[++i];
        }

        if (name == "--help") {
            o.mode = Mode::Help;
            return parsed;
        } else if (name == "--all") {
            o.all = true;
        } else if (name == "--notes") {
            o.notes = true;
        } else if (name == "--hex") {
            o.hex = true;
        } else if (name == "--json") {
            json = true;
        } else if (name == "--batch") {
            o.mode = Mode::Batch;
        } else if (name == "--encode") {
            o.encode = *argument;
        } else if (name == "--tz") {
            o.tz = *argument;
        } else if (name == "--local-zone") {
            o.local_zone = *argument;
        } else if (name == "--reference") {
            o.reference = true;
            o.read.extended = false;
        } else if (name == "--infer") {
            o.infer = true;
        } else if (name == "--by-column") {
            o.by_column = true;
        } else if (name == "--hint") {
            o.read.context.artifact_hint = *argument;
        } else if (name == "--endian") {
            if (*argument == "little") o.read.context.byte_order = ByteOrder::Little;
            else if (*argument == "big") o.read.context.byte_order = ByteOrder::Big;
            else return fail("--endian takes little or big; got '" + std::string(*argument) + "'");
        } else if (name == "--window") {
            o.read.window = parse_window(*argument);
            if (!o.read.window) {
                return fail("--window takes START..END, each RFC 3339 text with an offset or integer nanoseconds,"
                            " START before END; got '" + std::string(*argument) + "'");
            }
        } else if (name == "--delimiter") {
            o.delimiter = delimiter_of(*argument);
            if (!o.delimiter) return fail("--delimiter takes one character, or 'tab'; got '" + std::string(*argument) + "'");
        } else {
            std::optional<std::size_t> const number = positive_number(*argument);
            if (name == "--width" && (!number || *number > MAX_BYTE_WIDTH)) {
                return fail("--width takes 1 to " + std::to_string(MAX_BYTE_WIDTH) + " bytes; got '" +
                            std::string(*argument) + "'");
            }
            if (!number) return fail(std::string(name) + " takes a whole number from 1; got '" + std::string(*argument) + "'");
            if (name == "--best") o.best = number;
            if (name == "--column") o.column = number;
            if (name == "--max-line") o.max_line = number;
            if (name == "--width") o.read.context.byte_width = static_cast<uint8_t>(*number);
            if (name == "--threads") {
                if (*number > MAX_THREADS) return fail("--threads takes at most " + std::to_string(MAX_THREADS));
                o.threads = static_cast<unsigned>(*number);
            }
        }
    }
    parsed.error = check_mode(o, json);
    return parsed;
}

}  // namespace epochsift::cli
