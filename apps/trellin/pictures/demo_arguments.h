// The arguments and options of trellin demo, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/command_options.h"

namespace trellin_cli {

constexpr char default_look[] = "hexagon-glass";

class DemoArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string output_ = "out/demo.png";
    std::string picture_;
    std::string look_ = default_look;
    std::string sheet_;
    bool no_sheet_ = false;
    FrameOptions options_;
};

}  // namespace trellin_cli
