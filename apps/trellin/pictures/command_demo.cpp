// trellin demo [OUT]: the generated test picture through the effect with a
// full-frame look, and a contact sheet of every look beside it.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/image_io.h"
#include "apps/trellin/pictures/contact_sheet.h"
#include "apps/trellin/pictures/demo_picture.h"
#include "apps/trellin/pictures/scene_picture.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/pictures/demo_arguments.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace trellin_cli {

namespace {

constexpr int tile_width = 320;

NodePtr restore_look(const NodeModule& module, const LookEntry& look)
{
    try {
        return load_project_file(module, look.path);
    } catch (const ProjectError& e) {
        throw Failure{exit_usage, std::string("--look: ") + e.what()};
    }
}

class DemoCommand : public Command, DemoArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        const std::vector<Setting> settings = parse_settings(options_.settings);
        HostPicture picture = make_scene_picture();
        if (!picture_.empty()) {
            try {
                picture = read_picture(picture_);
            } catch (const PictureError& e) {
                throw Failure{exit_usage, e.what()};
            }
        }
        if (sheet_.empty() && !no_sheet_) sheet_ = (fs::path(output_).parent_path() / "looks.png").string();
        check_output(output_, true);
        if (!no_sheet_) check_output(sheet_, true);

        NodeModule module = load_module();
        LookEntry look;
        try {
            look = find_look(look_);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, std::string("--look: ") + e.what()};
        }
        NodePtr node = restore_look(module, look);
        apply_settings(*node, settings);
        create_folder(fs::path(output_).parent_path().string());
        check_output(output_);
        if (!no_sheet_) {
            create_folder(fs::path(sheet_).parent_path().string());
            check_output(sheet_);
        }
        use_threads(options_.threads);

        const WriteReport report =
            render_to_file(*node, picture, picture_.empty() ? "demo picture" : picture_, output_);
        print_notes(report, output_);
        std::cout << "wrote " << output_ << " (" << picture.width << "x" << picture.height << ", "
                  << (report.channels == 4 ? "RGBA" : "RGB") << ", " << report.sample_type << " " << report.format
                  << ", look " << look.name << ")\n";
        if (!no_sheet_) write_looks_sheet(module, picture);
        return exit_done;
    }

private:
    // Every look on the demo picture at tile size; a look that cannot be
    // restored or rendered is left out with a note.
    void write_looks_sheet(const NodeModule& module, const HostPicture& shown)
    {
        // The tiles keep the picture's shape on screen.
        const double shape = shown.height / (shown.width * (shown.pixel_aspect > 0.0 ? shown.pixel_aspect : 1.0));
        const int height = std::clamp(static_cast<int>(std::lround(tile_width * shape)), 1, 4 * tile_width);
        const HostPicture picture = picture_.empty() ? make_scene_picture(tile_width, height) : shown;
        std::vector<SheetTile> tiles;
        for (const LookEntry& look : list_looks()) {
            SheetTile tile;
            tile.label = look.name;
            try {
                NodePtr node = load_project_file(module, look.path);
                if (render_frame(*node, picture, tile.picture, 0.0, tile_width, height) == 0) {
                    std::cerr << "trellin: note: look " << look.name << " left out: the effect refused the frame\n";
                    continue;
                }
            } catch (const ProjectError& e) {
                std::cerr << "trellin: note: look " << look.name << " left out: " << e.what() << "\n";
                continue;
            }
            tiles.push_back(std::move(tile));
        }
        if (tiles.empty()) throw Failure{exit_failed, sheet_ + ": no look could be rendered"};
        const ContactSheet sheet = make_contact_sheet(tiles);
        write_contact_sheet(sheet, sheet_);
        std::cout << "wrote " << sheet_ << " (" << tiles.size() << " looks, " << sheet.picture.width << "x"
                  << sheet.picture.height << ")\n";
    }
};

}  // namespace

std::unique_ptr<Command> make_demo_command()
{
    return std::make_unique<DemoCommand>();
}

}  // namespace trellin_cli
