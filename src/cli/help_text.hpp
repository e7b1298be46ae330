// Texts written from the option table: --help, the man page and the shell
// completion scripts, so that none of them can list an option the parser
// does not know, or miss one it does.
#pragma once

#include <string>
#include <string_view>

namespace epochsift::cli {

std::string usage_text();

// The manual page in roff (man(7)) for this version.
std::string man_page(std::string_view version);

// The completion script of bash, zsh or fish; empty for another shell.
std::string completion_script(std::string_view shell);

}  // namespace epochsift::cli
