// The arguments and options of trellin gallery, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/command_options.h"

namespace trellin_cli {

class GalleryArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string folder_, picture_;
    std::vector<std::string> only_;
    int width_ = 480;
    int threads_ = 0;
};

}  // namespace trellin_cli
