#include "apps/trellin/pipe/pipe_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* PipeArguments::declare(CLI::App& app)
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
    pipe->add_flag("--progress", progress_,
                   "Show the progress line on a terminal (off by default: the programs around a pipe "
                   "usually print their own)");
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
        "Progress: none by default, so that the encoder's own progress line (ffmpeg's) keeps the\n"
        "terminal; --progress shows frames done and frames per second instead (give ffmpeg -nostats\n"
        "then), -v one line per frame. Notes and errors are printed either way.\n"
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

}  // namespace trellin_cli
