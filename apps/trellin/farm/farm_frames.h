// Which frames of a shot exist, judged from the output files themselves: a
// frame is done when its file is there (trellin writes each frame beside its
// name and renames it into place, so a file that exists is whole).
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/frame_sequence.h"

namespace trellin_cli {

struct FrameStatus {
    trellin_app::FrameRange range;
    std::vector<long long> done, missing;
};

FrameStatus frame_status(const trellin_app::FramePattern& output, const trellin_app::FrameRange& range);

// Frames of `range` listed as runs: "3", "5-7", "0-8x2", joined by ", ".
std::string frame_runs_text(const std::vector<long long>& frames, long long step);

// One line for people and scripts, e.g.
//   "frames 0-11: 9 of 12 done, 3 missing: 5-7"
//   "frames 0-11: all 12 done"
std::string status_text(const FrameStatus& status);

}  // namespace trellin_cli
