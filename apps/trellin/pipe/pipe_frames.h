// Raw piped frames as a source and a sink of frames (frame_source.h): 16-bit
// RGBA (rgba64le) or float planes (gbrapf32le), packed rows top first, read
// from a file descriptor and written to one, through the pipe's colour
// handling (pipe_colour.h). Frame k is the k-th frame of the stream; the
// source ends where the stream ends between frames.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/frame_pipeline.h"
#include "apps/common/core/frame_source.h"
#include "apps/common/core/raw_frames.h"
#include "apps/trellin/pipe/pipe_colour.h"

namespace trellin_cli {

// The form of a pipe's frames.
struct PipeFrameForm {
    trellin_app::PictureSource source;  // how the samples are stored ("raw")
    int width = 0, height = 0;          // the frames read
    double pixel_aspect = 1.0;
    bool floats() const { return source.float_samples; }
};

// A stream that ends inside a frame is a Failure (exit code 2) that names the
// frame and asks whether `size_text` is the size of the frames sent.
class PipeFrameSource : public trellin_app::FrameSource {
public:
    PipeFrameSource(trellin_app::RawFrameReader& reader, const PipeColour& colour, PipeFrameForm form,
                    std::string size_text);
    std::string frame_name(long long number) const override { return "frame " + std::to_string(number); }
    std::optional<trellin_app::NodeFrame> read(long long number) override;

private:
    trellin_app::RawFrameReader& reader_;
    const PipeColour& colour_;
    PipeFrameForm form_;
    std::string size_text_;
    // The float samples the colour handling took in, for the next frame's.
    trellin_app::Spares<std::vector<float>> spare_floats_;
};

// Writes each result of `width` x `height` pixels to `fd`. A reader that
// stops (a broken pipe) or any other failed write is a Failure (exit code 1).
class PipeFrameSink : public trellin_app::FrameSink {
public:
    PipeFrameSink(int fd, const PipeColour& colour, const PipeFrameForm& form, int width, int height);
    std::string frame_name(long long number) const override { return "frame " + std::to_string(number); }
    trellin_app::FrameWritten write(long long number, trellin_app::HostPicture result,
                                    const trellin_app::NodeFrame& frame, const trellin_app::SplitParts& parts) override;

    // The bytes of one frame written.
    std::size_t frame_bytes() const { return frame_bytes_; }

private:
    int fd_;
    const PipeColour& colour_;
    trellin_app::OutputForm form_;
    bool floats_;
    std::size_t pixels_;
    std::size_t frame_bytes_;
    std::vector<std::uint8_t> buffer_;
};

// Whether 16-bit frames travel as the host's samples (a little-endian
// machine): read straight into the picture and written straight from it.
bool samples_as_sent(bool floats);

}  // namespace trellin_cli
