// trellin pipe: raw video frames through the effect, standard input to
// standard output.
//
// Frames are 16-bit RGBA, little-endian, rows top first, packed without
// padding (ffmpeg's rgba64le), or 32-bit float planes G, B, R, A
// (gbrapf32le), which carry values outside 0..1. Frame k (from 0) is rendered
// at time k through one node, so animation keys animate the video. A stream
// that ends inside a frame is an error naming that frame; the frames before
// it have been written. Raw frames carry no metadata: their colour space and
// alpha are the defaults of their pixel format unless options say otherwise.
// The next frame is read and the last one written while a frame renders
// (frame_pipeline.h).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/raw_frames.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/picture/frame_pipeline.h"
#include "apps/trellin/command_support.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// The pixel formats taken, by ffmpeg's names: 16-bit samples or float planes.
constexpr char rgba64le[] = "rgba64le";
constexpr char gbrapf32le[] = "gbrapf32le";

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

class PipeCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* pipe = app.add_subcommand("pipe",
                                            "Process raw RGBA video frames from standard input to "
                                            "standard output");
        pipe->add_option("--size", size_, "Size of the frames read, as ffmpeg's -s")->required()->type_name("WxH");
        pipe->add_option("--out-size", out_size_, "Size of the frames written (default: --size)")->type_name("WxH");
        pipe->add_option("--aspect", aspect_, "Pixel aspect of the frames (default 1: square pixels)")
            ->check(finite_number())
            ->check(CLI::Range(0.01, 100.0))
            ->type_name("RATIO");
        pipe->add_option("--pix-fmt", pixel_format_,
                         "Frames read and written: rgba64le (16-bit, the default) or gbrapf32le (float planes; "
                         "values outside 0..1 survive), as ffmpeg's -pix_fmt")
            ->check(CLI::IsMember({rgba64le, gbrapf32le}))
            ->type_name("FORMAT");
        pipe->add_option("--alpha", alpha_,
                         "straight (colour as it is) or premultiplied (colour multiplied by alpha); default: "
                         "straight for rgba64le, premultiplied for gbrapf32le")
            ->check(CLI::IsMember({"straight", "premultiplied"}))
            ->type_name("KIND");
        add_frame_options(*pipe, options_);
        add_control_options(*pipe, controls_, false);
        add_colour_options(*pipe, colour_options_, true);
        add_verbosity_options(*pipe, verbosity_);
        pipe->footer(
            "Frames are 16-bit RGBA, little-endian (ffmpeg's -f rawvideo -pix_fmt rgba64le), or float\n"
            "planes G, B, R, A (-pix_fmt gbrapf32le, what ffmpeg decodes OpenEXR to), one after another;\n"
            "frame k (from 0) renders at time k, so --key and keys in a --project animate the video.\n"
            "Standard output takes the processed frames in the same layout; it must not be a terminal. A\n"
            "stream that ends inside a frame is an error naming the frame.\n"
            "Raw frames carry no metadata: rgba64le frames are taken as sRGB with straight alpha,\n"
            "gbrapf32le frames as linear with premultiplied alpha, and written back in the same space and\n"
            "form; --colorspace-in, --working-space, --colorspace-out, --alpha and --hdr change that.\n"
            "gbrapf32le frames keep values above 1 (--hdr split, their default): each frame with any\n"
            "renders twice, once for the picture within 0..1 and once for what lies above.\n"
            "\n"
            "Examples:\n"
            "  ffmpeg -i in.mov -f rawvideo -pix_fmt rgba64le - |\n"
            "    trellin pipe --size 1920x1080 --project look.json |\n"
            "    ffmpeg -f rawvideo -pix_fmt rgba64le -s 1920x1080 -r 25 -i - -c:v ffv1 out.mkv\n"
            "  ffmpeg -i plate.%04d.exr -f rawvideo -pix_fmt gbrapf32le - |\n"
            "    trellin pipe --size 2048x1080 --pix-fmt gbrapf32le |\n"
            "    ffmpeg -f rawvideo -pix_fmt gbrapf32le -s 2048x1080 -i - glass.%04d.exr\n"
            "  trellin pipe --size 640x360 --key \"Cell Angle@0=0\" --key \"Cell Angle@100=90\" < in.raw > out.raw");
        return pipe;
    }

    int run() override
    {
        const NodeSettings settings = parse_node_settings(options_, controls_);
        // The sizes' memory is checked when the first frame arrives.
        const PictureSize in_size = parse_picture_size(size_, "--size", false);
        const PictureSize out_size = out_size_.empty() ? in_size : parse_picture_size(out_size_, "--out-size", false);
        if (::isatty(STDOUT_FILENO) == 1)
            throw Failure{exit_usage, "standard output is a terminal; send the frames to a program or a file"};

        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node = prepare_node(module, controls_, settings, &project_render);
        const PictureColour colour = prepare_colour(*node, project_render, colour_options_);
        use_threads(options_.threads);
        // A reader that goes away is reported as a failed write, not a signal.
        std::signal(SIGPIPE, SIG_IGN);

        const bool floats = pixel_format_ == gbrapf32le;
        PictureSource source;
        source.format = "raw";
        source.float_samples = floats;
        source.alpha = true;
        source.associated_alpha = alpha_.empty() ? floats : alpha_ == "premultiplied";
        OutputForm form{"raw", floats, source.associated_alpha};

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
        std::vector<std::uint8_t> out_buffer(out_pixels *
                                             std::size_t(floats ? raw_float_bytes_per_pixel : raw_bytes_per_pixel));
        ClipCount clipped_before, clipped_written;
        std::string working_space;
        HdrMode hdr = HdrMode::none;
        Progress progress(verbosity_, 0);

        // Frames 0, 1, 2, ... until standard input ends.
        PipelineStages stages;
        stages.read = [&](const PipelineFrame& f) -> std::optional<NodeFrame> {
            const std::uint8_t* bytes = nullptr;
            try {
                if (!reader.next_bytes(bytes)) return std::nullopt;
            } catch (const RawFrameError& e) {
                throw Failure{exit_usage,
                              e.what() + std::string("; is --size ") + size_ + " the size of the frames sent?"};
            }
            PictureSource frame_source = source;
            if (floats) {
                frame_source.samples.resize(in_pixels * 4);
                float_planes_to_rgba(bytes, frame_source.samples.data(), in_pixels);
            } else {
                samples_from_le(bytes, input.data.data(), input.data.size());
            }
            try {
                return colour.to_node(input, std::move(frame_source), frame_name(f));
            } catch (const ColourError& e) {
                throw Failure{exit_usage, e.what()};
            }
        };
        stages.on_read = [&](const PipelineFrame&, const NodeFrame& frame) {
            clipped_before.merge(frame.clipped);
            working_space = frame.working_space;
            hdr = frame.hdr;
        };
        stages.write = [&](const PipelineFrame& f, HostPicture result, const NodeFrame& frame,
                           const SplitParts& parts) {
            const std::string space =
                colour.options().colorspace_out.empty() ? frame.input_space : colour.options().colorspace_out;
            OutputFrame out;
            try {
                out = colour.from_node(std::move(result), frame, space, form, &parts);
            } catch (const ColourError& e) {
                throw Failure{exit_usage, e.what()};
            }
            FrameWritten written;
            written.clipped = out.clipped;
            if (floats) {
                if (out.samples.empty()) {
                    out.samples.resize(out.picture.data.size());
                    std::transform(out.picture.data.begin(), out.picture.data.end(), out.samples.begin(),
                                   to_unit_float);
                }
                rgba_to_float_planes(out.samples.data(), out_buffer.data(), out_pixels);
            } else {
                samples_to_le(out.picture.data.data(), out_buffer.data(), out.picture.data.size());
            }
            write_fully(STDOUT_FILENO, out_buffer.data(), out_buffer.size(), f.number);
            return written;
        };
        stages.on_written = [&](const PipelineFrame& f, const FrameWritten& written) {
            clipped_written.merge(written.clipped);
            progress.rendered(frame_name(f));
        };
        try {
            run_pipeline(*node, stages, out_size.width, out_size.height);
        } catch (const FrameRefused& e) {
            progress.finish();
            throw Failure{exit_failed, frame_name(e.frame) + ": the effect refused the frame (see its warning above)"};
        } catch (...) {
            progress.finish();
            throw;
        }
        progress.finish();
        print_clip_notes(clipped_before, clipped_written, hdr, working_space, "16-bit frames");
        return exit_done;
    }

private:
    std::string size_, out_size_, alpha_;
    double aspect_ = 1.0;
    std::string pixel_format_ = rgba64le;
    FrameOptions options_;
    ControlOptions controls_;
    RenderOverrides colour_options_;
    Verbosity verbosity_ = Verbosity::normal;
};

}  // namespace

std::unique_ptr<Command> make_pipe_command()
{
    return std::make_unique<PipeCommand>();
}

}  // namespace trellin_cli
