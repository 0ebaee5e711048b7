// The arguments and options of trellin overlay, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/command_options.h"

namespace trellin_cli {

class OverlayArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string input_, output_;
    std::vector<std::string> drags_;
    bool print_controls_ = false;
    FrameOptions options_;
    ControlOptions controls_;
};

}  // namespace trellin_cli
