// The colour options of the programs' command lines (trellin render, pipe,
// farm submit and trellin-view): --colorspace-in, --working-space,
// --colorspace-out, --hdr and --refract-alpha / --no-refract-alpha, each
// replacing the value a project brings.
#pragma once

#include <CLI/CLI.hpp>

#include "apps/common/core/render_options.h"

namespace trellin_app {

// Adds the options to `command`; what they set goes into `overrides`.
// `raw_frames`: the help tells the defaults of piped frames.
void add_colour_options(CLI::App& command, RenderOverrides& overrides, bool raw_frames = false);

}  // namespace trellin_app
