// trellin pipe: raw video frames through the effect, standard input to
// standard output.
//
// Frames are 16-bit RGBA, little-endian, rows top first, packed without
// padding (ffmpeg's rgba64le). Frame k (from 0) is rendered at time k through
// one node, so animation keys animate the video. A stream that ends inside a
// frame is an error naming that frame; the frames before it have been written.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include "apps/common/frame_render.h"
#include "apps/common/raw_frames.h"
#include "apps/trellin/command_support.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

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
            throw Failure{exit_failed, "frame " + std::to_string(frame) + ": cannot write standard output: " +
                                           std::strerror(errno)};
        }
        done += static_cast<std::size_t>(n);
    }
}

class PipeCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* pipe = app.add_subcommand("pipe", "Process raw 16-bit RGBA video frames from standard input to "
                                                    "standard output");
        pipe->add_option("--size", size_, "Size of the frames read, as ffmpeg's -s")->required()->type_name("WxH");
        pipe->add_option("--out-size", out_size_, "Size of the frames written (default: --size)")->type_name("WxH");
        pipe->add_option("--aspect", aspect_, "Pixel aspect of the frames (default 1: square pixels)")
            ->check(finite_number())
            ->check(CLI::Range(0.01, 100.0))
            ->type_name("RATIO");
        add_frame_options(*pipe, options_);
        add_control_options(*pipe, controls_, false);
        add_verbosity_options(*pipe, verbosity_);
        pipe->footer(
            "Frames are 16-bit RGBA, little-endian (ffmpeg's -f rawvideo -pix_fmt rgba64le), one after\n"
            "another; frame k (from 0) renders at time k, so --key and keys in a --project animate the\n"
            "video. Standard output takes the processed frames in the same layout; it must not be a\n"
            "terminal. A stream that ends inside a frame is an error naming the frame.\n"
            "\n"
            "Examples:\n"
            "  ffmpeg -i in.mov -f rawvideo -pix_fmt rgba64le - |\n"
            "    trellin pipe --size 1920x1080 --project look.json |\n"
            "    ffmpeg -f rawvideo -pix_fmt rgba64le -s 1920x1080 -r 25 -i - -c:v ffv1 out.mkv\n"
            "  trellin pipe --size 640x360 --key \"Cell Angle@0=0\" --key \"Cell Angle@100=90\" < in.raw > out.raw");
        return pipe;
    }

    int run() override
    {
        const NodeSettings settings = parse_node_settings(options_, controls_);
        // The sizes' memory is checked when the first frame arrives.
        const PictureSize in_size = parse_picture_size(size_, "--size", false);
        const PictureSize out_size =
            out_size_.empty() ? in_size : parse_picture_size(out_size_, "--out-size", false);
        if (::isatty(STDOUT_FILENO) == 1)
            throw Failure{exit_usage, "standard output is a terminal; send the frames to a program or a file"};

        NodeModule module = load_module();
        NodePtr node = prepare_node(module, controls_, settings);
        use_threads(options_.threads);
        // A reader that goes away is reported as a failed write, not a signal.
        std::signal(SIGPIPE, SIG_IGN);

        // The frames' memory is taken only once the first frame starts to
        // arrive: an empty stream ends at once, whatever --size says.
        RawFrameReader reader(STDIN_FILENO, in_size.width, in_size.height);
        try {
            if (reader.at_end()) return exit_done;
        } catch (const RawFrameError& e) {
            throw Failure{exit_usage, e.what()};
        }
        parse_picture_size(size_, "--size");
        if (!out_size_.empty()) parse_picture_size(out_size_, "--out-size");
        HostPicture input;
        // With --out-size the node is told the output's aspect, derived from this one.
        input.pixel_aspect = aspect_;
        std::vector<std::uint8_t> out_buffer;
        HostPicture result;
        Progress progress(verbosity_, 0);
        for (long long frame = 0;; ++frame) {
            try {
                if (!reader.next(input)) break;
            } catch (const RawFrameError& e) {
                progress.finish();
                throw Failure{exit_usage, e.what() + std::string("; is --size ") + size_ +
                                              " the size of the frames sent?"};
            }
            if (render_frame(*node, input, result, static_cast<double>(frame), out_size.width, out_size.height) ==
                0) {
                progress.finish();
                throw Failure{exit_failed, "frame " + std::to_string(frame) +
                                               ": the effect refused the frame (see its warning above)"};
            }
            out_buffer.resize(result.data.size() * 2);
            samples_to_le(result.data.data(), out_buffer.data(), result.data.size());
            write_fully(STDOUT_FILENO, out_buffer.data(), out_buffer.size(), frame);
            progress.rendered("frame " + std::to_string(frame));
        }
        progress.finish();
        return exit_done;
    }

private:
    std::string size_, out_size_;
    double aspect_ = 1.0;
    FrameOptions options_;
    ControlOptions controls_;
    Verbosity verbosity_ = Verbosity::normal;
};

}  // namespace

std::unique_ptr<Command> make_pipe_command() { return std::make_unique<PipeCommand>(); }

}  // namespace trellin_cli
