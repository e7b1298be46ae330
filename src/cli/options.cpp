#include "cli/options.hpp"

#include <charconv>

#include "cli/option_table.hpp"
#include "cli/utf8.hpp"
#include "cli/window_text.hpp"
#include "core/ascii_scan.hpp"

namespace epochsift::cli {

namespace {

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

std::optional<std::size_t> positive_number(std::string_view text);

// "2,seen,5": numbers from 1 or names; nothing when a part is empty or 0.
std::vector<ColumnRef> column_refs(std::string_view text) {
    std::vector<ColumnRef> out;
    for (;;) {
        std::size_t const comma = text.find(',');
        std::string_view const part = text.substr(0, comma);
        if (part.empty() || !is_valid_utf8(part)) return {};
        bool const digits = part.find_first_not_of("0123456789") == std::string_view::npos;
        if (part.front() == '-' || part.front() == '+') return {};  // a signed number is no field
        if (digits) {
            auto const number = positive_number(part);
            if (!number) return {};
            out.push_back(ColumnRef{*number, {}});
        } else {
            out.push_back(ColumnRef{0, part});
        }
        if (comma == std::string_view::npos) return out;
        text.remove_prefix(comma + 1);
    }
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

// --scan: one input, the scan's own options.
std::string check_scan(CliOptions& o, bool json) {
    if (o.values.size() > 1) return "--scan reads one input; got " + std::to_string(o.values.size());
    if (o.values.empty()) return "--scan needs a file, or - for standard input";
    if (json && o.csv) return "--json and --csv: choose one";
    if (o.encode || o.infer || o.by_column || o.hex || o.notes || o.best || o.column || !o.columns.empty() ||
        o.every || o.header != HeaderMode::Auto || o.delimiter || o.max_line || o.tz || o.local_zone || o.reference || o.read.context.artifact_hint || o.read.context.byte_order) {
        return "--scan takes --all, --json, --csv, --formats, --width, --window and --threads only";
    }
    o.mode = Mode::Scan;
    return {};
}

std::string check_mode(CliOptions& o, bool json) {
    o.json = json;
    if (o.mode == Mode::Scan) return check_scan(o, json);
    if (o.csv || !o.formats.empty()) return std::string(o.csv ? "--csv" : "--formats") + " applies to --scan only";
    bool const batch = o.mode == Mode::Batch;
    if (o.encode) {
        if (batch) return "--encode and --batch do not mix";
        if (!o.values.empty()) return "--encode takes one instant and no values";
        if (o.all || o.notes) return "--encode prints every family; drop --all and --notes";
        if (o.reference || reading_options_given(o)) return "--encode writes values; the reading options do not apply";
        for (auto const& [given, name] :
             {std::pair{o.hex, "--hex"}, std::pair{o.best.has_value(), "--best"},
              std::pair{o.threads.has_value(), "--threads"}, std::pair{o.infer, "--infer"},
              std::pair{o.by_column, "--by-column"}, std::pair{o.max_line.has_value(), "--max-line"},
              std::pair{o.column.has_value() || !o.columns.empty(), "--column"},
              std::pair{o.delimiter.has_value(), "--delimiter"}, std::pair{o.every, "--every"},
              std::pair{o.quiet, "--quiet"}, std::pair{o.header != HeaderMode::Auto, "--header"}}) {
            if (given) return std::string(name) + " does not apply to --encode";
        }
        o.mode = Mode::Encode;
        return {};
    }
    bool const rows = batch && !o.every && !o.best && !o.infer && !o.by_column;
    if (batch && !rows && (o.tz || o.local_zone)) {
        return "--tz and --local-zone apply to the table, --json and batch rows, not to --every, --best, --infer or --by-column";
    }
    if (batch && !rows) {
        if (o.columns.size() > 1) return "several --column fields apply to batch rows; --every, --best, --infer and --by-column read one";
        if (!o.columns.empty() && o.columns.front().number == 0) return "a --column name applies to batch rows; give its number";
    }
    if (o.every && (o.best || o.infer || o.by_column)) return "--every writes every reading of each value; drop --best, --infer and --by-column";
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
        if (o.delimiter && o.columns.empty()) o.columns.push_back(ColumnRef{1, {}});
        if (!o.columns.empty() && o.columns.front().number != 0) o.column = o.columns.front().number;
        return {};
    }
    if (o.every || o.quiet || o.header != HeaderMode::Auto || !o.columns.empty()) {
        return "--every, --quiet, --header and --column apply to --batch only";
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
    if (o.values.empty()) o.values_from_stdin = true;  // main refuses a terminal
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

        if (name == "--help" || name == "--version" || name == "--man") {
            o.mode = name == "--help" ? Mode::Help : name == "--version" ? Mode::Version : Mode::Manual;
            return parsed;
        } else if (name == "--completion") {
            if (*argument != "bash" && *argument != "zsh" && *argument != "fish") {
                return fail("--completion takes bash, zsh or fish; got '" + std::string(*argument) + "'");
            }
            o.mode = Mode::Completion;
            o.shell = *argument;
            return parsed;
        } else if (name == "--column") {
            o.columns = column_refs(*argument);
            if (o.columns.empty()) {
                return fail("--column takes field numbers from 1 or header names, separated by commas; got '" +
                            std::string(*argument) + "'");
            }
        } else if (name == "--header") {
            if (*argument == "auto") o.header = HeaderMode::Auto;
            else if (*argument == "yes") o.header = HeaderMode::Yes;
            else if (*argument == "no") o.header = HeaderMode::No;
            else return fail("--header takes auto, yes or no; got '" + std::string(*argument) + "'");
        } else if (name == "--every") {
            o.every = true;
        } else if (name == "--quiet") {
            o.quiet = true;
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
        } else if (name == "--scan") {
            o.mode = Mode::Scan;
        } else if (name == "--csv") {
            o.csv = true;
        } else if (name == "--formats") {
            std::string_view rest = *argument;
            while (!rest.empty()) {
                std::size_t const comma = rest.find(',');
                std::string_view const id = rest.substr(0, comma);
                if (id.empty()) return fail("--formats takes ids separated by commas; got '" + std::string(*argument) + "'");
                o.formats.push_back(id);
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
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
                return fail("--window takes a year, month or day (2023, 2023-05, 2023-05-01) or START..END, each side"
                            " one of those, an RFC 3339 date-time with an offset or an integer with its unit"
                            " (1700000000s, ms, us, ns), START before END; got '" + std::string(*argument) + "'");
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
