// The arguments and options of trellin pipe, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/common/cli/colour_options.h"
#include "apps/trellin/command_options.h"

namespace trellin_cli {

// The pixel formats taken, by ffmpeg's names: 16-bit samples or float planes.
constexpr char rgba64le[] = "rgba64le";
constexpr char gbrapf32le[] = "gbrapf32le";

class PipeArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string size_, out_size_, alpha_;
    double aspect_ = 1.0;
    bool progress_ = false;
    std::string pixel_format_ = rgba64le;
    FrameOptions options_;
    ControlOptions controls_;
    trellin_app::RenderOverrides colour_options_;
    Verbosity verbosity_ = Verbosity::normal;
};

}  // namespace trellin_cli
