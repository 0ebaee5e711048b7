// The arguments and options of trellin info, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/command_options.h"

namespace trellin_cli {

class InfoArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string picture_;
};

}  // namespace trellin_cli
