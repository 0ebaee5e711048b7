#include "apps/trellin/rendering/render_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* RenderArguments::declare(CLI::App& app)
{
    CLI::App* render = app.add_subcommand("render", "Render a picture or a numbered sequence through the effect");
    render
        ->add_option("IN", input_,
                     "Picture to read: PNG, TIFF, OpenEXR, DPX, JPEG or any format OpenImageIO reads "
                     "(8/10/16-bit or float; grey, grey+alpha, RGB or RGBA). With --frames, a numbered "
                     "name: in.%04d.png or in.####.png")
        ->required()
        ->type_name("IN");
    render
        ->add_option("OUT", output_,
                     "Picture to write; its extension names the format. With --frames, a numbered name "
                     "like IN's")
        ->required()
        ->type_name("OUT");
    render
        ->add_option("-f,--frames", frames_,
                     "Render frames FIRST to LAST (both included), every STEP-th with xSTEP; each frame "
                     "at time = its number")
        ->type_name("FIRST-LAST[xSTEP]");
    render->add_flag("--skip-existing", skip_existing_,
                     "Leave out frames whose output file exists (resumes an interrupted run)");
    add_frame_options(*render, options_);
    add_control_options(*render, controls_, true);
    add_colour_options(*render, colour_options_);
    render
        ->add_option("-d,--depth", depth_,
                     "Output samples: 8, 16, half or float (and 10 for DPX); default the deepest the "
                     "format holds: 16-bit PNG/TIFF/DPX, half OpenEXR, 8-bit JPEG")
        ->type_name("DEPTH");
    render
        ->add_option("--out-size", out_size_,
                     "Render at another size; the input is stretched to fit (its pixel aspect adjusted "
                     "so the picture keeps its shape)")
        ->type_name("WxH");
    render
        ->add_option("--codec", codec_.codec,
                     "Video OUT: the encoder (prores_ks, ffv1, libx264, dnxhd, libvpx-vp9, ...); default by "
                     "OUT's extension (see below)")
        ->type_name("NAME");
    render->add_option("--crf", codec_.crf, "Video OUT: constant rate factor, for encoders that have one")
        ->type_name("N")
        ->check(CLI::Range(0, 100));
    render->add_option("--bitrate", codec_.bitrate, "Video OUT: bits per second (8M, 800k)")->type_name("RATE");
    render->add_option("--pix-fmt", codec_.pix_fmt, "Video OUT: the encoder's samples (yuv422p10le, ...)")
        ->type_name("LAYOUT");
    render->add_option("--gop", codec_.gop, "Video OUT: frames from one keyframe to the next")
        ->type_name("N")
        ->check(CLI::Range(1, 100000));
    render
        ->add_option("--rate", rate_,
                     "Video OUT made of pictures: frames per second (25, 24000/1001, 29.97); default 25")
        ->type_name("FPS");
    add_verbosity_options(*render, verbosity_);
    render->footer(
        "Colour: the input is taken in --colorspace-in, else the space its metadata names, else its\n"
        "format's convention (integer samples sRGB, OpenEXR and float samples linear); the effect works\n"
        "in --working-space (default the input's; sRGB for PQ and HLG); the output is written in\n"
        "--colorspace-out, else its format's convention, and says so in its metadata. The spaces are\n"
        "linear, sRGB, Rec709, GammaN, Rec2020, PQ (1.0 linear = 100 cd/m2) and HLG (1000 cd/m2 peak);\n"
        "with $OCIO set, those of that OpenColorIO config. Float inputs (OpenEXR), PQ and HLG keep\n"
        "values outside 0..1 of the working space: the part above 1 renders\n"
        "as a second picture through the same glass (--hdr split, their default), so the look within\n"
        "0..1 is what --hdr none gives. --hdr none clips to 0..1 and counts (one note per run);\n"
        "--hdr log carries -0.135 to 1024 on a logarithmic curve, which the effect then averages and\n"
        "lights.\n"
        "Alpha: OpenEXR colour (associated alpha) is divided by alpha on reading and multiplied again\n"
        "on writing; PNG and TIFF colour (unassociated) is taken as stored. Alpha stays where it was\n"
        "unless --refract-alpha. Grey input becomes RGB and grey+alpha RGBA.\n"
        "Metadata (description, Exif, pixel aspect, ...) is carried to the output, with Software set to\n"
        "trellin and, in OpenEXR, PNG, TIFF and DPX, the settings (trellin info OUT shows them,\n"
        "--project OUT restores them). The pixel aspect is what the effect is told. PNG output uses\n"
        "zlib level 1 (fast).\n"
        "A still renders as frame 0, or as frame N with --frames N. --set holds a control for the whole\n"
        "run (its keys are dropped); --key adds to the keys a --project brings. Files are written\n"
        "complete or not at all.\n"
        "On a terminal a progress line shows frames done, frames per second and the time left. The\n"
        "last line, on standard output, names what was written (the first and last file of a\n"
        "sequence); -q leaves it out.\n"
        "Video: IN is recognised as a video by its content; its frames are numbered from 0 in\n"
        "presentation order, --frames picks them exactly, and YUV is read at 16 bits with the\n"
        "stream's own matrix and range; its transfer and primaries name its colour space. OUT's\n"
        "extension names the container: .mov ProRes 4444 (alpha kept), .mkv FFV1 16-bit RGB(A)\n"
        "(lossless), .mp4 H.264 yuv420p CRF 18, .mxf DNxHR HQX, .webm VP9. The input's audio and\n"
        "other streams, metadata, chapters, frame rate and timestamps come along; audio the container\n"
        "cannot hold is encoded again, with a note. The output is written in the input's colour space\n"
        "(or --colorspace-out) and tagged so.\n"
        "\n"
        "Examples:\n"
        "  trellin render in.mov glass.mov --look hexagon-glass\n"
        "  trellin render in.mp4 glass.mp4 --frames 100-199 --crf 16\n"
        "  trellin render in.mov frames/glass.%04d.png --frames 0-47\n"
        "  trellin render shot.%04d.exr glass.mkv --frames 1-240 --rate 24\n"
        "  trellin render in.png out.png --set CellShape=Hexagon --set \"Cell Count X=16\"\n"
        "  trellin render in.png out.png --look hexagon-glass --set Index=1.4\n"
        "  trellin render in.tif out.exr --depth float --set Index=1.6\n"
        "  trellin render plate.exr glass.exr --hdr log --refract-alpha\n"
        "  OCIO=studio.ocio trellin render plate.exr glass.exr --colorspace-in ACEScg\n"
        "  trellin render again.png out2.png --project out.exr\n"
        "  trellin render shot.%04d.dpx glass.%04d.png --frames 1-240 --project look.json\n"
        "  trellin render shot.####.exr glass.####.exr --frames 1-240 --skip-existing\n"
        "  trellin render in.####.png out.####.png --frames 0-48x2 --key \"Cell Angle@0=0\" \\\n"
        "      --key \"Cell Angle@48=90\" --save-project spin.json\n"
        "  trellin render in.png small.png --out-size 960x540\n"
        "  trellin render in.png frame24.png --frames 24 --project spin.json");
    return render;
}

}  // namespace trellin_cli
