// The last step of a farm job that renders a video: the array tasks have each
// rendered their chunk of frames as a lossless part (FFV1, 16-bit RGB(A)),
// and the join encodes the parts' frames in order into the video, with the
// codec asked for and the input's other streams, frame rate and timestamps,
// through the same writer `trellin render` uses: the video is what one
// `trellin render IN OUT --frames A-B` writes.
#pragma once

#include <string>

#include "apps/common/core/frame_sequence.h"
#include "apps/video/video_codecs.h"

namespace trellin_cli {

struct JoinRequest {
    std::string input;   // the job's IN: a video, or a numbered sequence
    std::string output;  // the video to write
    std::string parts;   // the folder of the parts (part_path names them)
    std::string space;   // the colour space the parts' samples are in
    std::string rate;    // --rate, when IN is a sequence
    trellin_app::FrameRange range;
    long long chunk = 1;
    trellin_video::VideoCodecOptions codec;
};

// The words of the last line the join writes on standard error, once the
// video is in place: "trellin: farm: N frames from K parts joined into OUT".
inline constexpr const char* joined_into = " joined into ";

// Writes the video whole or not at all, then removes the parts and their
// folder. Failures are thrown as Failure: exit code 2 for arguments that
// cannot be right, 1 for a part missing, short or unreadable, or a video
// that cannot be written (the parts are then kept).
void join_parts(const JoinRequest& request);

}  // namespace trellin_cli
