// trellin pipe: raw video frames through the effect, standard input to
// standard output.
//
// Frames are 16-bit RGBA, little-endian, rows top first, packed without
// padding (ffmpeg's rgba64le), or 32-bit float planes G, B, R, A
// (gbrapf32le), which carry values outside 0..1. Frame k (from 0) is rendered
// at time k through one node, so animation keys animate the video. A stream
// that ends inside a frame is an error naming that frame; the frames before
// it have been written. Raw frames carry no metadata: their colour space and
// alpha are the defaults of their pixel format unless options say otherwise.
// The next frame is read and the last one written while a frame renders
// (frame_pipeline.h).
//
// The program runs a pipe whose frames need no colour handling itself
// (UnchangedColour), so that it starts without the picture library; the
// library runs the others (command_pipe.cpp). Both run the frames here.
#pragma once

#include <CLI/CLI.hpp>

#include "apps/common/core/picture_source.h"
#include "apps/trellin/command_options.h"
#include "apps/trellin/commands.h"
#include "apps/trellin/pipe/pipe_arguments.h"
#include "apps/trellin/pipe/pipe_colour.h"
#include "contract/host_api.h"

namespace trellin_cli {

class PipeCommand : public Command, protected PipeArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

protected:
    struct Sizes {
        PictureSize in, out;
    };
    // The checks made before the module is loaded: every --set and --key,
    // the sizes' syntax, and standard output not a terminal (a Failure with
    // exit code 2 otherwise).
    Sizes check_arguments(NodeSettings& settings) const;
    // How the frames read are stored: samples, alpha.
    trellin_app::PictureSource frame_source() const;
    // Renders the frames of standard input through `node`, with `colour`
    // around it, to standard output until the input ends. Returns the exit
    // code or throws Failure.
    int run_frames(FXNode& node, const PipeColour& colour, const Sizes& sizes);
};

}  // namespace trellin_cli
