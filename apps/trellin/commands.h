// The commands of trellin. Each lives in its own file (command_render.cpp,
// command_info.cpp, ...) as a Command subclass made by make_NAME_command(),
// its options and help in NAME_arguments.cpp; command_list.h names them all.
//
// The program and its picture library (picture_entry.h) each define every
// make_NAME_command(): the library the whole command; the program the
// commands that read no pictures (command_looks.cpp, the same in both) and,
// for the others, one that declares the same arguments and runs by handing
// the command line to the library (loaded_commands.cpp). A new command that
// reads pictures takes its file, its arguments' files, one line in
// command_list.h and one in loaded_commands.cpp.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "apps/common/core/failure.h"

namespace trellin_cli {

using trellin_app::exit_done;
using trellin_app::exit_failed;
using trellin_app::exit_usage;
using trellin_app::Failure;

class Command {
public:
    virtual ~Command() = default;
    // Adds the command, its arguments, options and help to `app` and returns
    // the subcommand added.
    virtual CLI::App* add_to(CLI::App& app) = 0;
    // Runs the command after its subcommand was parsed. Returns the exit code
    // or throws Failure.
    virtual int run() = 0;
};

#define TRELLIN_COMMAND(name) std::unique_ptr<Command> make_##name##_command();
#include "apps/trellin/command_list.h"
#undef TRELLIN_COMMAND

}  // namespace trellin_cli
