// What the commands that render take a video by: whether IN or OUT is one,
// the options that only a video written uses, and frame rates.
#pragma once

#include <optional>
#include <string>

#include "apps/video/video_codecs.h"
#include "apps/video/video_reader.h"

namespace trellin_cli {

// Whether a render of `input` to `output` involves a video file: IN is a
// video by its content (a name with a frame pattern never is), or OUT's
// extension names a video container.
bool is_video_render(const std::string& input, const std::string& output);

// Whether `path` has a frame number pattern (%04d or ####) in its name.
bool numbered_name(const std::string& path);

// The video options that would go unused, refused (a Failure, exit code 2,
// naming the option): the codec's (--codec, --crf, --bitrate, --pix-fmt,
// --gop) when no video is written (`video_out` false), and --rate unless a
// video is made of pictures (a video IN keeps its own timing).
void check_video_options(const trellin_video::VideoCodecOptions& codec, const std::string& rate, bool video_in,
                         bool video_out);

// "25", "24000/1001" or "29.97" as a frame rate; "" is 25. A Failure (exit
// code 2) naming --rate otherwise.
trellin_video::Rational parse_rate(const std::string& text);

}  // namespace trellin_cli
