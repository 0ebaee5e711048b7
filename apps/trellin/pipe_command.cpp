#include "apps/trellin/pipe_command.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "apps/common/core/frame_pipeline.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/raw_frames.h"
#include "apps/common/core/sample_convert.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// "frame N", as messages name a piped frame.
std::string frame_name(const PipelineFrame& f)
{
    return "frame " + std::to_string(f.number);
}

void write_fully(int fd, const std::uint8_t* data, std::size_t size, long long frame)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE)
                throw Failure{exit_failed, "frame " + std::to_string(frame) +
                                               ": the program reading standard output stopped (broken pipe); see "
                                               "its own messages for why"};
            throw Failure{exit_failed,
                          "frame " + std::to_string(frame) + ": cannot write standard output: " + std::strerror(errno)};
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

PipeCommand::Sizes PipeCommand::check_arguments(NodeSettings& settings) const
{
    settings = parse_node_settings(options_, controls_);
    // The sizes' memory is checked when the first frame arrives.
    Sizes sizes;
    sizes.in = parse_picture_size(size_, "--size", false);
    sizes.out = out_size_.empty() ? sizes.in : parse_picture_size(out_size_, "--out-size", false);
    if (::isatty(STDOUT_FILENO) == 1)
        throw Failure{exit_usage, "standard output is a terminal; send the frames to a program or a file"};
    return sizes;
}

PictureSource PipeCommand::frame_source() const
{
    const bool floats = pixel_format_ == gbrapf32le;
    PictureSource source;
    source.format = "raw";
    source.float_samples = floats;
    source.alpha = true;
    source.associated_alpha = alpha_.empty() ? floats : alpha_ == "premultiplied";
    return source;
}

int PipeCommand::run_frames(FXNode& node, const PipeColour& colour, const Sizes& sizes)
{
    // A reader that goes away is reported as a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const bool floats = pixel_format_ == gbrapf32le;
    const PictureSource source = frame_source();
    const OutputForm form{"raw", floats, source.associated_alpha};
    const PictureSize in_size = sizes.in;
    const PictureSize out_size = sizes.out;

    // The frames' memory is taken only once the first frame starts to
    // arrive: an empty stream ends at once, whatever --size says.
    RawFrameReader reader(STDIN_FILENO, in_size.width, in_size.height,
                          floats ? raw_float_bytes_per_pixel : raw_bytes_per_pixel);
    try {
        if (reader.at_end()) return exit_done;
    } catch (const RawFrameError& e) {
        throw Failure{exit_usage, e.what()};
    }
    parse_picture_size(size_, "--size");
    if (!out_size_.empty()) parse_picture_size(out_size_, "--out-size");

    HostPicture input(in_size.width, in_size.height, 4);
    // With --out-size the node is told the output's aspect, derived from this one.
    input.pixel_aspect = aspect_;
    const std::size_t in_pixels = std::size_t(in_size.width) * std::size_t(in_size.height);
    const std::size_t out_pixels = std::size_t(out_size.width) * std::size_t(out_size.height);
    const std::size_t out_frame_bytes =
        out_pixels * std::size_t(floats ? raw_float_bytes_per_pixel : raw_bytes_per_pixel);
    // 16-bit frames come in and go out as the host's samples on a
    // little-endian machine: they are read straight into the picture and
    // written straight from the result. Other frames are converted
    // through a buffer.
    const bool samples_as_sent = !floats && std::endian::native == std::endian::little;
    std::vector<std::uint8_t> out_buffer(samples_as_sent ? 0 : out_frame_bytes);
    ClipCount clipped_before, clipped_written;
    std::string working_space;
    HdrMode hdr = HdrMode::none;
    // Inside a pipeline the encoder usually draws its own progress line on
    // the same terminal; ours would overwrite it, so it is shown only when asked for.
    const Verbosity shown = verbosity_ == Verbosity::normal && !progress_ ? Verbosity::quiet : verbosity_;
    Progress progress(shown, 0);

    // Frames 0, 1, 2, ... until standard input ends. Their pictures'
    // storage is used again from frame to frame: inputs the node has
    // rendered, the float samples the colour handling has taken in, and
    // (through the pipeline) results once written.
    SparePictures spare_inputs;
    Spares<std::vector<float>> spare_floats;
    widen_pipe(STDIN_FILENO, reader.frame_bytes());
    widen_pipe(STDOUT_FILENO, out_frame_bytes);
    PipelineStages stages;
    stages.reuse_input = [&](HostPicture picture) { spare_inputs.give(std::move(picture)); };
    stages.read = [&](const PipelineFrame& f) -> std::optional<NodeFrame> {
        // The frame goes into the storage of one the node has rendered.
        HostPicture picture = spare_inputs.take();
        PictureSource frame_source = source;
        frame_source.samples = spare_floats.take();
        picture.width = input.width;
        picture.height = input.height;
        picture.samples = input.samples;
        picture.pixel_aspect = input.pixel_aspect;
        picture.data.resize(input.data.size());
        try {
            const std::uint8_t* bytes = nullptr;
            if (samples_as_sent) {
                if (!reader.next_into(reinterpret_cast<std::uint8_t*>(picture.data.data()))) return std::nullopt;
                frame_source.samples.clear();
            } else {
                if (!reader.next_bytes(bytes)) return std::nullopt;
                if (floats) {
                    frame_source.samples.resize(in_pixels * 4);
                    float_planes_to_rgba(bytes, frame_source.samples.data(), in_pixels);
                } else {
                    frame_source.samples.clear();
                    samples_from_le(bytes, picture.data.data(), picture.data.size());
                }
            }
        } catch (const RawFrameError& e) {
            throw Failure{exit_usage, e.what() + std::string("; is --size ") + size_ + " the size of the frames sent?"};
        }
        NodeFrame frame = colour.to_node(std::move(picture), std::move(frame_source), frame_name(f));
        if (!frame.spare.empty()) spare_floats.give(std::move(frame.spare));
        return frame;
    };
    stages.on_read = [&](const PipelineFrame&, const NodeFrame& frame) {
        clipped_before.merge(frame.clipped);
        working_space = frame.working_space;
        hdr = frame.hdr;
    };
    stages.write = [&](const PipelineFrame& f, HostPicture result, const NodeFrame& frame, const SplitParts& parts) {
        OutputFrame out = colour.from_node(std::move(result), frame, form, parts);
        FrameWritten written;
        written.clipped = out.clipped;
        if (floats) {
            if (out.samples.empty()) {
                out.samples.resize(out.picture.data.size());
                std::transform(out.picture.data.begin(), out.picture.data.end(), out.samples.begin(), to_unit_float);
            }
            rgba_to_float_planes(out.samples.data(), out_buffer.data(), out_pixels);
            write_fully(STDOUT_FILENO, out_buffer.data(), out_buffer.size(), f.number);
        } else if (samples_as_sent) {
            write_fully(STDOUT_FILENO, reinterpret_cast<const std::uint8_t*>(out.picture.data.data()),
                        out.picture.data.size() * sizeof(std::uint16_t), f.number);
        } else {
            samples_to_le(out.picture.data.data(), out_buffer.data(), out.picture.data.size());
            write_fully(STDOUT_FILENO, out_buffer.data(), out_buffer.size(), f.number);
        }
        written.spare = std::move(out.picture);
        return written;
    };
    stages.on_written = [&](const PipelineFrame& f, const FrameWritten& written) {
        clipped_written.merge(written.clipped);
        progress.rendered(frame_name(f));
    };
    try {
        run_pipeline(node, stages, out_size.width, out_size.height);
    } catch (const FrameRefused& e) {
        progress.finish();
        throw Failure{exit_failed, frame_name(e.frame) + ": the effect refused the frame (see its warning above)"};
    } catch (...) {
        progress.finish();
        throw;
    }
    progress.finish();
    colour.print_notes(clipped_before, clipped_written, hdr, working_space);
    return exit_done;
}

}  // namespace trellin_cli
