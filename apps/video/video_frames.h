// Video files as a source and a sink of frames (frame_source.h): frames
// decoded from a video, and frames encoded into one with the input's other
// streams, through the colour handling of PictureColour.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/frame_source.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/video/video_codecs.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

namespace trellin_video {

// Frame n is the video's frame n. A frame that cannot be decoded is a
// Failure with exit code 1; one that cannot be converted, with exit code 2.
class VideoFileSource : public trellin_app::FrameSource {
public:
    VideoFileSource(const trellin_app::PictureColour& colour, VideoReader& reader, std::string path);
    std::string frame_name(long long) const override { return path_; }
    std::optional<trellin_app::NodeFrame> read(long long number) override;
    std::string refusal(long long number) const override;

private:
    const trellin_app::PictureColour& colour_;
    VideoReader& reader_;
    std::string path_;
    trellin_app::PictureSource source_;
};

// The shape, rate and other streams of a video OUT whose frames look like
// `frame` (in colour space `space`), made from frames `range` of `reader`
// with the input's streams, timestamps and tags, or from pictures at
// `picture_rate` when `reader` is null.
struct VideoOutputShape {
    VideoFormat format;
    std::optional<StreamSource> streams;
};
VideoOutputShape video_output_shape(const trellin_app::HostPicture& frame, const std::string& space,
                                    const std::string& input, VideoReader* reader, const trellin_app::FrameRange& range,
                                    Rational picture_rate);

// The colour space a video OUT is tagged with, its samples being in `space`:
// with neither --colorspace-in nor --colorspace-out, a video input's own
// (none for an untagged one), so that a video keeps its tags; else `space`.
std::string video_tag_space(const trellin_app::RenderOptions& spaces, const VideoReader* reader,
                            const std::string& space);

// Where a video OUT's frames come from: frames `range` of the video `reader`
// reads from `path`, or pictures (`reader` null) timed at `picture_rate`.
struct VideoOrigin {
    std::string path;
    VideoReader* reader = nullptr;
    trellin_app::FrameRange range;
    Rational picture_rate{25, 1};
};

// Encodes the frames into the video `path` as `plan` says, opened with the
// first frame, whose shape it takes. A frame that cannot be encoded is a
// Failure with exit code 1.
class VideoFileSink : public trellin_app::FrameSink {
public:
    VideoFileSink(const trellin_app::PictureColour& colour, std::string path, VideoOutputPlan plan, VideoOrigin origin);
    ~VideoFileSink() override;
    std::string frame_name(long long) const override { return path_; }
    trellin_app::FrameWritten write(long long number, trellin_app::HostPicture result,
                                    const trellin_app::NodeFrame& frame, const trellin_app::SplitParts& parts) override;
    std::vector<std::string> take_notes() override;
    void finish() override;

    // The streams written ("h264 1920x1080, aac"), once the first frame is.
    std::string streams_text() const;

private:
    const trellin_app::PictureColour& colour_;
    std::string path_;
    VideoOutputPlan plan_;
    VideoOrigin origin_;
    std::unique_ptr<VideoWriter> writer_;
    std::int64_t picture_index_ = 0;  // timestamps of a video made of pictures
    std::mutex notes_lock_;
    std::vector<std::string> notes_;
};

}  // namespace trellin_video
