// Command-line faults of the programs, in the programs' own voice: one line
// "PROGRAM: error: MESSAGE" on standard error, with the nearest command or
// option suggested for a mistyped one.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace trellin_app {

// What a mistyped command or option on `args` (the arguments after the
// program's name) should have been, as a message ("unknown command "rendr"
// (did you mean "render"?)"), or "" when every command and option on it is
// known to `app`. Call after a failed parse.
std::string unknown_name_message(CLI::App& app, const std::vector<std::string>& args);

// Handles a parse fault of `app`: --help and the like print their text and
// give exit code 0; every other fault prints one error line (naming a
// mistyped command or option and its nearest known one where that is the
// fault) and gives `usage_code`.
int report_parse_error(CLI::App& app, const CLI::ParseError& e, int argc, const char* const* argv,
                       const std::string& program, int usage_code);

}  // namespace trellin_app
