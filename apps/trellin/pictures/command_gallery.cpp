// trellin gallery OUTDIR: the pictures of the control reference, one strip
// per control showing a picture at a few of that control's values.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "apps/trellin/pictures/control_gallery.h"
#include "apps/trellin/pictures/demo_picture.h"
#include "apps/trellin/pictures/scene_picture.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/pictures/gallery_arguments.h"
#include "host/text_match.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace trellin_cli {

namespace {

constexpr int jpeg_quality = 80;

class GalleryCommand : public Command, GalleryArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        const std::vector<const GalleryStrip*> strips = chosen_strips();
        HostPicture picture;
        int tile_height = 0;
        if (picture_.empty()) {
            tile_height = width_ * 9 / 16;
            picture = make_scene_picture(width_, tile_height);
        } else {
            try {
                picture = read_picture(picture_);
            } catch (const PictureError& e) {
                throw Failure{exit_usage, e.what()};
            }
            // The tiles keep the picture's shape on screen.
            const double shape = picture.height / (picture.width * picture.pixel_aspect);
            tile_height = std::max(1, static_cast<int>(std::lround(width_ * shape)));
        }
        NodeModule module = load_module();
        create_folder(folder_);
        use_threads(threads_);
        for (const GalleryStrip* strip : strips) {
            const std::string path = (fs::path(folder_) / (gallery_file_stem(strip->control) + ".jpg")).string();
            check_output(path);
            ContactSheet sheet;
            try {
                sheet = render_gallery_strip(module, *strip, picture, width_, tile_height);
            } catch (const SettingError& e) {
                throw Failure{exit_failed, strip->control + ": " + e.what()};
            } catch (const ModuleError& e) {
                throw Failure{exit_failed, e.what()};
            }
            WriteOptions options;
            options.jpeg_quality = jpeg_quality;
            write_contact_sheet(sheet, path, options);
            std::cout << "wrote " << path << "\n";
        }
        return exit_done;
    }

private:
    std::vector<const GalleryStrip*> chosen_strips() const
    {
        std::vector<const GalleryStrip*> chosen;
        for (const GalleryStrip& strip : gallery_strips()) {
            bool wanted = only_.empty();
            for (const std::string& label : only_) wanted = wanted || same_label(label, strip.control);
            if (wanted) chosen.push_back(&strip);
        }
        for (const std::string& label : only_) {
            bool known = false;
            for (const GalleryStrip& strip : gallery_strips()) known = known || same_label(label, strip.control);
            if (!known) throw Failure{exit_usage, "--control " + label + ": no such control (trellin info lists them)"};
        }
        return chosen;
    }

    static bool same_label(const std::string& a, const std::string& b)
    {
        return host_detail::same_text_ignoring_case(a, b);
    }
};

}  // namespace

std::unique_ptr<Command> make_gallery_command()
{
    return std::make_unique<GalleryCommand>();
}

}  // namespace trellin_cli
