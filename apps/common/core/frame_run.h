// Running a node over a source of frames into a sink (frame_source.h): the
// one way every host that renders runs of frames renders them. Frame k + 1 is
// read and frame k - 1 written while the node renders frame k
// (frame_pipeline.h); what the run has to tell is told on the calling thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/frame_source.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/node_frame.h"
#include "contract/host_api.h"

namespace trellin_app {

// The frames of a run: `numbers` in order, or, when `until_end`, 0, 1, 2, ...
// until the source ends.
struct FrameList {
    std::vector<long long> numbers;
    bool until_end = false;
};

struct FrameRunOptions {
    int width = 0;  // the node's output size; 0: the input's
    int height = 0;
    bool skip_existing = false;  // leave out frames the sink holds whole
};

// Told on the calling thread as the run goes. Each may be unset.
struct FrameRunWatch {
    // A frame left out, and one written.
    std::function<void(long long number)> skipped;
    std::function<void(long long number, const FrameWritten&)> written;
    // Notes on what the input's metadata left unclear (from its first frame
    // that has any) and what the sink could not keep, each told once.
    std::function<void(const std::vector<std::string>&)> notes;
};

// What a run did.
struct FrameRunTally {
    long long written = 0;
    long long skipped = 0;
    std::string first_output, last_output;  // as the sink names them
    ClipCount clipped_before;               // colour samples clipped on the way in
    ClipCount clipped_written;              // and by the outputs' form
    std::string working_space;              // the last frame's
    HdrMode hdr = HdrMode::none;
};

// Runs `frames` of `source` through `node` into `sink`. A frame the node
// refuses ends the run with a Failure (exit code 1) saying so; whatever the
// source or the sink throws ends it as it is. The sink is finished once its
// frames are written, and its last notes told.
FrameRunTally render_frames(FXNode& node, FrameSource& source, FrameSink& sink, const FrameList& frames,
                            const FrameRunOptions& options = {}, const FrameRunWatch& watch = {});

}  // namespace trellin_app
