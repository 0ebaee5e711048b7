// The arguments and options of trellin farm, and the help that declares them.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/common/cli/colour_options.h"
#include "apps/video/video_codecs.h"
#include "apps/trellin/command_options.h"

namespace trellin_cli {

class FarmArguments {
public:
    // Adds the command, its arguments, options and help to `app`; the values
    // parsed land in the members below.
    CLI::App* declare(CLI::App& app);

protected:
    void add_submit(CLI::App& farm);
    void add_status(CLI::App& farm);
    void add_wait(CLI::App& farm);
    void add_join(CLI::App& farm);
    void add_codec_options(CLI::App& command);

    CLI::App* submit_ = nullptr;
    CLI::App* status_ = nullptr;
    CLI::App* wait_ = nullptr;
    CLI::App* join_ = nullptr;

    std::string input_, output_, frames_, partition_, rate_;
    trellin_video::VideoCodecOptions codec_;
    long long chunk_ = 0;
    FrameOptions frame_options_;
    ControlOptions control_options_;
    trellin_app::RenderOverrides colour_options_;
    std::vector<std::string> sbatch_extra_;
    bool dry_run_ = false;

    std::string status_output_, status_frames_, job_id_;
    double timeout_s_ = 0;

    std::string parts_, space_;  // farm join
};

}  // namespace trellin_cli
