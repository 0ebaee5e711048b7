// Reading a video file's picture stream as host pictures.
//
// Frames are numbered from 0 in presentation order. On opening, the stream's
// packets are read once (without decoding) to learn every frame's timestamp,
// so the frame count is exact and any frame can be found: reading frame N
// seeks to the keyframe before it and decodes forward, and reading frames in
// order decodes each once. Samples become 16-bit RGB (RGBA when the stream
// has alpha) with the stream's own matrix and range, through swscale at 16
// bits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "apps/common/core/host_picture.h"
#include "apps/common/core/picture_source.h"
#include "apps/video/video_colour.h"
#include "apps/video/video_error.h"

namespace trellin_video {

// Whether the file at `path` is a video, judged by its content (not its
// name): a regular file that FFmpeg opens as a container or stream with a
// picture stream. Single pictures (PNG, JPEG, ...) are not videos.
bool is_video_file(const std::string& path);

struct Rational {
    int num = 0;
    int den = 1;
};

struct VideoStreamInfo {
    int width = 0;
    int height = 0;
    bool alpha = false;  // the stream's samples have alpha
    bool yuv = false;    // the stream stores YUV (not RGB)
    double pixel_aspect = 1.0;
    Rational frame_rate;  // the stream's frame rate (0/1 when unknown)
    Rational time_base;   // the unit of its timestamps
    ColourTags tags;      // as the stream declares them
    std::string codec;    // "ffv1", "h264", ...
    std::string format;   // the container: "matroska,webm", "mov,mp4,m4a,3gp,3g2,mj2", ...
    int stream_index = 0;
};

// How a reader decodes. Beside a render, whose node and encoder keep the
// processors busy, a frame's slices are decoded in parallel but frames one
// at a time: frames side by side would only add the decoder's copies and
// hand-overs. Alone (a viewer stepping or jumping through a clip), frames
// are decoded side by side as well. The pictures are the same either way.
enum class Decoding { beside_render, alone };

class VideoReader {
public:
    // Opens the file and indexes its frames. Throws VideoError naming the
    // file when it is no video, has no picture stream the libraries decode,
    // or its pictures are beyond the size limits of picture_limits.h.
    explicit VideoReader(const std::string& path, Decoding decoding = Decoding::beside_render);
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    const std::string& path() const { return path_; }
    const VideoStreamInfo& info() const { return info_; }
    long long frame_count() const;
    // Frame `number`'s presentation timestamp and how long it shows, in the
    // stream's time base.
    std::int64_t timestamp(long long number) const;
    std::int64_t duration(long long number) const;

    // What the stream says about its samples, as a picture file's source:
    // the colour space its tags name.
    trellin_app::PictureSource source() const;
    // "BT.709 limited" and the like, or "RGB": how samples became RGB.
    std::string conversion_text() const;

    // Reads frame `number` (0 .. frame_count() - 1) into `picture`, keeping
    // its samples' buffer when the size is unchanged. Throws VideoError
    // naming the first frame that could not be decoded.
    void read(long long number, trellin_app::HostPicture& picture);

private:
    struct State;
    std::string path_;
    VideoStreamInfo info_;
    std::unique_ptr<State> state_;
};

}  // namespace trellin_video
