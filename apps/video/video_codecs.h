// Which container and codec a video output is written with: the container
// from the output's extension, the codec and its settings from the command
// line or the container's default. Everything is checked before any frame is
// rendered.
//
//   .mov   ProRes 4444 (prores_ks), 10-bit 4:4:4, with alpha when the frames have it
//   .mkv   FFV1, 16-bit RGB or RGBA (lossless)
//   .mp4   H.264 (libx264), yuv420p, CRF 18
//   .mxf   DNxHR HQX (dnxhd), 10-bit 4:2:2
//   .webm  VP9 (libvpx-vp9), yuv420p (yuva420p with alpha), CRF 24
#pragma once

#include <cstdint>
#include <string>

#include "apps/video/video_error.h"

namespace trellin_video {

// What the command line asks of a video output; empty or 0 leaves the default.
struct VideoCodecOptions {
    std::string codec;    // an encoder ("libx264") or a codec ("h264") name
    std::string pix_fmt;  // FFmpeg's sample layout name ("yuv422p10le", ...)
    std::string bitrate;  // "8M", "800k", "12000000"
    int crf = -1;         // constant rate factor, for encoders that have one
    int gop = 0;          // frames from one keyframe to the next
};

// How the output will be written.
struct VideoOutputPlan {
    std::string container;  // FFmpeg's muxer name: "mov", "matroska", "mp4", "mxf", "webm"
    std::string encoder;    // FFmpeg's encoder name
    std::string pix_fmt;    // the samples the encoder takes
    bool alpha = false;     // the samples keep alpha
    std::int64_t bitrate = 0;
    int crf = -1;
    int gop = 0;
    std::string profile;  // the encoder's "profile" option, when the default sets one
};

// Whether the extension of `path` names a video container written here.
bool is_video_output(const std::string& path);

// "--codec x: unknown ..." and the like: a fault in the options, with the
// valid names.
class VideoOptionError : public VideoError {
public:
    using VideoError::VideoError;
};

// The plan for writing `path` from frames with (`alpha`) or without alpha.
// Throws VideoOptionError naming the option at fault: an unknown codec or
// one the container cannot hold (with the names it can), a sample layout the
// encoder does not take (with those it does), --crf for an encoder without
// one, a bitrate that is no number.
VideoOutputPlan plan_video_output(const std::string& path, const VideoCodecOptions& options, bool alpha);

}  // namespace trellin_video
