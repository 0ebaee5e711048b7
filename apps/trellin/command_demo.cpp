// trellin demo [OUT]: the generated test picture through the effect.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "apps/common/demo_picture.h"
#include "apps/trellin/command_support.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace trellin_cli {

namespace {

class DemoCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* demo = app.add_subcommand("demo", "Render a built-in test picture through the effect");
        demo->add_option("OUT", output_, "Picture to write (default: out/demo.png; its folder is created)")
            ->type_name("FILE");
        add_frame_options(*demo, options_);
        demo->footer(
            "Makes a 960x540 16-bit RGBA test picture (colour sweep, checkerboard, discs), renders it with the\n"
            "effect's default settings (and any --set given) and prints where it wrote the result.\n"
            "\n"
            "Examples:\n"
            "  trellin demo\n"
            "  trellin demo hexagons.png --set CellShape=Hexagon");
        return demo;
    }

    int run() override
    {
        const std::vector<Setting> settings = parse_settings(options_.settings);
        check_output(output_, true);
        NodeModule module = load_module();
        NodePtr node = create_node(module);
        apply_settings(*node, settings);
        const fs::path folder = fs::path(output_).parent_path();
        if (!folder.empty()) {
            std::error_code ec;
            fs::create_directories(folder, ec);
            if (ec) throw Failure{exit_failed, folder.string() + ": cannot create the folder: " + ec.message()};
        }
        check_output(output_);
        const HostPicture picture = make_demo_picture();
        use_threads(options_.threads);
        const WriteReport report = render_to_file(*node, picture, "demo picture", output_);
        print_notes(report, output_);
        std::cout << "wrote " << output_ << " (" << picture.width << "x" << picture.height << ", "
                  << (report.channels == 4 ? "RGBA" : "RGB") << ", " << report.sample_type << " " << report.format
                  << ")\n";
        return exit_done;
    }

private:
    std::string output_ = "out/demo.png";
    FrameOptions options_;
};

}  // namespace

std::unique_ptr<Command> make_demo_command() { return std::make_unique<DemoCommand>(); }

}  // namespace trellin_cli
