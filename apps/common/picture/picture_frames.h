// Picture files as a source and a sink of frames (frame_source.h): one
// picture, or a numbered sequence of them, read and written through the
// colour handling of PictureColour.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/frame_pipeline.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/frame_source.h"
#include "apps/common/picture/picture_colour.h"

namespace trellin_app {

// Frame n is the picture `pattern` names for n (a pattern without a number
// names one picture, read once whatever frame it renders as). A picture that
// cannot be read or converted is a Failure with exit code 2, naming it and,
// with `frame_notes`, the frame.
class PictureFileSource : public FrameSource {
public:
    PictureFileSource(const PictureColour& colour, FramePattern pattern, bool frame_notes);
    std::string frame_name(long long number) const override { return pattern_.path_for(number); }
    std::optional<NodeFrame> read(long long number) override;

private:
    const PictureColour& colour_;
    FramePattern pattern_;
    bool frame_notes_;
    std::optional<NodeFrame> still_;
    Spares<std::vector<float>> spare_floats_;  // a float file's samples once taken in
};

// Frame n is written to the picture `pattern` names for n, converted for its
// format and `options`, carrying `record` (with the frame's input and
// number) in its metadata. A picture that cannot be written is a Failure
// with exit code 1.
class PictureFileSink : public FrameSink {
public:
    PictureFileSink(const PictureColour& colour, FramePattern pattern, WriteOptions options, RenderRecord record,
                    const FrameSource& inputs);
    std::string frame_name(long long number) const override { return pattern_.path_for(number); }
    bool holds(long long number) const override;
    void prepare(long long number, const NodeFrame& frame) const override;
    FrameWritten write(long long number, HostPicture result, const NodeFrame& frame, const SplitParts& parts) override;
    std::vector<std::string> take_notes() override;

private:
    const PictureColour& colour_;
    FramePattern pattern_;
    WriteOptions options_;
    RenderRecord record_;
    const FrameSource& inputs_;
    std::mutex notes_lock_;
    std::vector<std::string> notes_;
    bool noted_ = false;  // what a format could not hold is told once
};

// Notes on what writing `output` left out (alpha, settings), without the
// program's prefix.
std::vector<std::string> write_notes(const WriteReport& report, const std::string& output);

}  // namespace trellin_app
