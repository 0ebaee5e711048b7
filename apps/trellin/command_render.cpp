// trellin render IN OUT: one picture file through the effect.
#include "apps/trellin/command_support.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

class RenderCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* render = app.add_subcommand("render", "Render a picture file through the effect");
        render
            ->add_option("IN", input_,
                         "Picture to read: any format OpenImageIO reads (8/16-bit or float; grey, "
                         "grey+alpha, RGB or RGBA)")
            ->required()
            ->type_name("FILE");
        render
            ->add_option("OUT", output_,
                         "Picture to write; its extension names the format (.png, .tif, .exr, "
                         ".dpx: 16-bit or half; .jpg: 8-bit)")
            ->required()
            ->type_name("FILE");
        add_frame_options(*render, options_);
        render->footer(
            "The picture is rendered as frame 0 with the effect's default settings and any --set given.\n"
            "Samples are kept as the file stores them (alpha is not multiplied in); grey input becomes RGB.\n"
            "PNG output is written with zlib level 1 (fast; files a little larger than the usual level 6).\n"
            "\n"
            "Examples:\n"
            "  trellin render in.png out.png\n"
            "  trellin render in.tif out.exr --set CellShape=Hexagon --set \"Cell Count X=16\"\n"
            "  trellin render in.png out.png --set Edge=Wrap --set \"Light Active=on\" --set Light=1,0.9,0.7,1\n"
            "  trellin render in.jpg out.png --threads 1");
        return render;
    }

    int run() override
    {
        const std::vector<Setting> settings = parse_settings(options_.settings);
        check_output(output_);
        NodeModule module = load_module();
        NodePtr node = create_node(module);
        // Settings first: a bad one is reported without waiting for the picture.
        apply_settings(*node, settings);
        HostPicture picture;
        try {
            picture = read_picture(input_);
        } catch (const PictureError& e) {
            throw Failure{exit_usage, e.what()};
        }
        use_threads(options_.threads);
        print_notes(render_to_file(*node, picture, input_, output_), output_);
        return exit_done;
    }

private:
    std::string input_, output_;
    FrameOptions options_;
};

}  // namespace

std::unique_ptr<Command> make_render_command() { return std::make_unique<RenderCommand>(); }

}  // namespace trellin_cli
