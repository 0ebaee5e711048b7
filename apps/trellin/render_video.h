// trellin render with a video file as IN or OUT: frames decoded from a video
// (or read from pictures), rendered at time = their number, and written as
// pictures or encoded into a video with the input's other streams.
#pragma once

#include <optional>
#include <string>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/picture/image_io.h"
#include "apps/trellin/command_support.h"
#include "apps/video/video_codecs.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

namespace trellin_cli {

struct VideoRenderRequest {
    std::string input, output, frames;
    bool skip_existing = false;
    trellin_app::WriteOptions write_options;
    PictureSize out_size;
    trellin_video::VideoCodecOptions codec;
    std::string rate;  // --rate, for a video made of pictures
    FrameOptions options;
    ControlOptions controls;
    trellin_app::RenderOverrides colour;
    Verbosity verbosity = Verbosity::normal;
};

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

// The shape, rate and other streams of a video OUT whose frames look like
// `frame` (in colour space `space`), made from frames `range` of `reader`
// with the input's streams, timestamps and tags, or from pictures at
// `picture_rate` when `reader` is null.
struct VideoOutputShape {
    trellin_video::VideoFormat format;
    std::optional<trellin_video::StreamSource> streams;
};
VideoOutputShape video_output_shape(const trellin_app::HostPicture& frame, const std::string& space,
                                    const std::string& input, trellin_video::VideoReader* reader,
                                    const trellin_app::FrameRange& range, trellin_video::Rational picture_rate);

// The colour space a video OUT is tagged with, its samples being in `space`:
// with neither --colorspace-in nor --colorspace-out, a video input's own
// (none for an untagged one), so that a video keeps its tags; else `space`.
std::string video_tag_space(const trellin_app::RenderOptions& spaces, const trellin_video::VideoReader* reader,
                            const std::string& space);

// Runs the render. Failures are thrown as Failure: exit code 2 for what the
// arguments or the input get wrong before anything is written, 1 for a frame
// that cannot be decoded, rendered or written.
int render_video(const VideoRenderRequest& request);

}  // namespace trellin_cli
