// The input of a run of frames, named as every program that takes one names
// it: a picture file, a video file (known by its content), or a numbered name
// ("in.%04d.png", "in.####.exr") with a frame range ("10-58", "0-96x2").
//
// A numbered name needs a range. A still without one is frame 0 alone; with
// one it is the same picture at every frame of the range, so that a look can
// be keyed over time on a single picture. A video's frames are numbered from
// 0 in presentation order; without a range the input is all of them.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/frame_source.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/video/video_reader.h"

namespace trellin_video {

// An input that cannot be taken; the message names the file or --frames.
class FrameInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FrameInput {
public:
    // `frames` is the range given (empty: none); `verb` says what the
    // program does with the frames, for messages ("render", "show"). Opens a
    // video and checks the range against its frames; picture files are not
    // read here; a video is decoded as `decoding` says. Throws FrameInputError.
    FrameInput(const std::string& input, const std::string& frames, const std::string& verb,
               Decoding decoding = Decoding::beside_render);

    const std::string& name() const { return name_; }
    bool video() const { return reader_ != nullptr; }
    // The name numbers its frames (a sequence).
    bool numbered() const { return pattern_.numbered(); }
    // A range was given.
    bool ranged() const { return ranged_; }
    const trellin_app::FrameRange& range() const { return range_; }
    std::vector<long long> frames() const { return range_.frames(); }
    // The file frame `number` is read from (a video's or a still's own name for all).
    std::string path_for(long long number) const { return pattern_.path_for(number); }
    const trellin_app::FramePattern& pattern() const { return pattern_; }
    // The video read; null for pictures.
    VideoReader* reader() const { return reader_.get(); }
    const std::shared_ptr<VideoReader>& shared_reader() const { return reader_; }

    // The first frame of the range whose file is missing (a still's file is
    // checked once); none when all are there, or for a video.
    std::optional<long long> missing_frame() const;

    // The frames as a source for the node, through `colour`. Messages of a
    // picture's faults name the frame when `frame_notes` (a sequence always
    // does).
    std::unique_ptr<trellin_app::FrameSource> source(const trellin_app::PictureColour& colour,
                                                     bool frame_notes = false) const;

private:
    std::string name_;
    trellin_app::FramePattern pattern_;
    bool ranged_ = false;
    trellin_app::FrameRange range_;
    std::shared_ptr<VideoReader> reader_;
};

}  // namespace trellin_video
