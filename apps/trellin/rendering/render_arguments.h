// The arguments and options of trellin render, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/common/cli/colour_options.h"
#include "apps/video/video_codecs.h"
#include "apps/trellin/command_options.h"

namespace trellin_cli {

class RenderArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    std::string input_, output_, frames_, depth_, out_size_, rate_;
    trellin_video::VideoCodecOptions codec_;
    bool skip_existing_ = false;
    FrameOptions options_;
    trellin_app::RenderOverrides colour_options_;
    ControlOptions controls_;
    Verbosity verbosity_ = Verbosity::normal;
};

}  // namespace trellin_cli
