#include "cli/help_text.hpp"

#include "cli/option_table.hpp"

namespace epochsift::cli {

namespace {

constexpr std::string_view SYNOPSIS =
    "usage: epochsift [options] VALUE...\n"
    "       epochsift [options] < VALUES   (one value a line of standard input)\n"
    "       epochsift --batch [options] [FILE|-]\n"
    "       epochsift --scan [options] FILE|-\n"
    "       epochsift --encode WHEN [--tz ZONE] [--local-zone ZONE]\n";

constexpr std::string_view DESCRIPTION =
    "Shows which timestamp formats each VALUE could be in and the instant each reading gives, best first. "
    "Put -- before a value that starts with a dash (negative numbers such as -1 need none).";

constexpr std::string_view FLAGS_TEXT =
    "Flags in the table: sentinel (an unset/never marker value), local (wall-clock time with no offset, read as "
    "UTC), outside-window (outside the family's plausibility window). Readings whose scores are equal as shown "
    "share a rank.";

constexpr std::string_view EXIT_TEXT =
    "Exit status: 0 done; 1 the output could not be written, or out of memory; 2 usage error or unreadable "
    "input; 3 (batch) some lines could not be read: their records carry the error and stderr names each line.";

constexpr std::size_t WIDTH = 79;
constexpr std::size_t HELP_COLUMN = 19;

// Appends text wrapped at WIDTH, the first line starting at column `at`
// (already written), the others indented by `indent`.
void wrap(std::string& out, std::string_view text, std::size_t at, std::size_t indent) {
    std::size_t column = at;
    bool first = true;
    while (!text.empty()) {
        std::size_t const space = text.find(' ');
        std::string_view const word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (!first && column + 1 + word.size() > WIDTH) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    out += '\n';
}

std::string spelled(const OptionRow& row) {
    std::string text(row.name);
    if (!row.argument.empty()) {
        text += ' ';
        text += row.argument;
    }
    return text;
}

// roff: a backslash is \e, and a line must not start with a point or quote.
std::string roff(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string words(std::string_view choices) { return std::string(choices); }

}  // namespace

std::string usage_text() {
    std::string out(SYNOPSIS);
    out += '\n';
    wrap(out, DESCRIPTION, 0, 0);
    for (const GroupRow& group : GROUPS) {
        out += '\n';
        out += group.title;
        out += ":\n";
        for (const OptionRow& row : OPTIONS) {
            if (row.group != group.group) continue;
            std::string const name = "  " + spelled(row);
            out += name;
            if (name.size() + 1 > HELP_COLUMN) {
                out += '\n';
                out.append(HELP_COLUMN, ' ');
            } else {
                out.append(HELP_COLUMN - name.size(), ' ');
            }
            wrap(out, row.help, HELP_COLUMN, HELP_COLUMN);
        }
    }
    out += '\n';
    wrap(out, FLAGS_TEXT, 0, 0);
    out += '\n';
    wrap(out, EXIT_TEXT, 0, 0);
    return out;
}

std::string man_page(std::string_view version) {
    std::string out = ".TH EPOCHSIFT 1 \"\" \"epochsift " + std::string(version) + "\" \"User Commands\"\n";
    out += ".SH NAME\nepochsift \\- which timestamp formats a value could be in, ranked with stated assumptions\n";
    out += ".SH SYNOPSIS\n.B epochsift\n[\\fIoptions\\fR] \\fIVALUE\\fR...\n.br\n.B epochsift \\-\\-batch\n"
           "[\\fIoptions\\fR] [\\fIFILE\\fR|\\-]\n.br\n.B epochsift \\-\\-encode\n\\fIWHEN\\fR [\\fIoptions\\fR]\n";
    out += ".SH DESCRIPTION\n" + roff(DESCRIPTION) + "\n";
    for (const GroupRow& group : GROUPS) {
        out += ".SS " + roff(group.title) + "\n";
        for (const OptionRow& row : OPTIONS) {
            if (row.group != group.group) continue;
            out += ".TP\n.B " + roff(row.name);
            if (!row.argument.empty()) out += " \\fI" + roff(row.argument) + "\\fR";
            out += "\n" + roff(row.help) + "\n";
        }
    }
    out += ".SH \"EXIT STATUS\"\n" + roff(EXIT_TEXT) + "\n";
    out += ".SH NOTES\n" + roff(FLAGS_TEXT) + "\n";
    return out;
}

std::string completion_script(std::string_view shell) {
    std::string out;
    if (shell == "bash") {
        out += "# bash completion for epochsift\n_epochsift() {\n"
               "    local cur prev\n    cur=\"${COMP_WORDS[COMP_CWORD]}\"\n    prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
               "    case \"$prev\" in\n";
        for (const OptionRow& row : OPTIONS) {
            if (row.kind == OptionKind::Flag) continue;
            out += "        " + std::string(row.name) + ")\n";
            if (!row.choices.empty()) {
                out += "            COMPREPLY=($(compgen -W \"" + words(row.choices) + "\" -- \"$cur\")); return ;;\n";
            } else {
                out += "            return ;;\n";
            }
        }
        out += "    esac\n    if [[ \"$cur\" == -* ]]; then\n        COMPREPLY=($(compgen -W \"";
        for (const OptionRow& row : OPTIONS) out += std::string(row.name) + " ";
        out += "-h\" -- \"$cur\"))\n    else\n        COMPREPLY=($(compgen -f -- \"$cur\"))\n    fi\n}\n"
               "complete -F _epochsift epochsift\n";
    } else if (shell == "zsh") {
        out += "#compdef epochsift\n# zsh completion for epochsift\n_arguments \\\n";
        for (const OptionRow& row : OPTIONS) {
            std::string help(row.help.substr(0, row.help.find_first_of(";(")));
            while (!help.empty() && help.back() == ' ') help.pop_back();
            std::string escaped;  // inside '...': a quote closes and reopens; [ ] : are _arguments' syntax
            for (char c : help) {
                if (c == '\'') escaped += "'\\''";
                else if (c == '[' || c == ']' || c == ':') escaped += std::string("\\") + c;
                else escaped += c;
            }
            out += "  '" + std::string(row.name) + "[" + escaped + "]";
            if (row.kind != OptionKind::Flag) {
                out += ":" + std::string(row.argument) + ":";
                if (!row.choices.empty()) out += "(" + words(row.choices) + ")";
            }
            out += "' \\\n";
        }
        out += "  '*:value or file:_files'\n";
    } else if (shell == "fish") {
        out += "# fish completion for epochsift\n";
        for (const OptionRow& row : OPTIONS) {
            std::string help(row.help.substr(0, row.help.find_first_of(";(")));
            while (!help.empty() && help.back() == ' ') help.pop_back();
            std::string escaped;  // fish reads \' and \\ inside single quotes
            for (char c : help) {
                if (c == '\'' || c == '\\') escaped += '\\';
                escaped += c;
            }
            out += "complete -c epochsift -l " + std::string(row.name.substr(2));
            if (row.kind != OptionKind::Flag) out += row.choices.empty() ? " -r" : " -x -a '" + words(row.choices) + "'";
            out += " -d '" + escaped + "'\n";
        }
    }
    return out;
}

}  // namespace epochsift::cli
