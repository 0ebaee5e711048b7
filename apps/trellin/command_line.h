// trellin's command line: every command declared, the one given parsed and
// run, and its failures turned into one line on standard error and an exit
// code.
//
// Exit codes: 0 done; 1 the effect refused the frame or the output could not
// be written; 2 a usage or input error (bad arguments, unreadable picture,
// unknown control, bad value, module not found). Every check on the
// arguments, the settings and the input runs before anything is written, and
// the output appears only complete (written beside it, then renamed).
//
// The program and its picture library both run it, each with its own
// make_NAME_command() (commands.h): the program to answer --help, --version
// and the commands that read no pictures, the library for the others.
#pragma once

namespace trellin_cli {

// Runs the command line (argv[0] the program); the exit code.
int run_command_line(int argc, char** argv);

}  // namespace trellin_cli
