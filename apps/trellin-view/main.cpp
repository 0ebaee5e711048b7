// trellin-view: the interactive viewer. Shows a picture rendered through the
// Trellin effect with the node's handles over it and the node's control
// panel below; saves the settings as a project and exports the full-size
// picture.
//
// Exit codes: 0 done; 1 no window could be opened or the module made no
// node; 2 a usage or input error (bad arguments, unreadable picture or
// project, unknown control, bad value, module not found).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "apps/common/colour_options.h"
#include "apps/common/command_line_errors.h"
#include "apps/common/control_setting.h"
#include "apps/common/image_io.h"
#include "apps/common/module_loader.h"
#include "apps/common/output_file.h"
#include "apps/common/picture_colour.h"
#include "apps/common/project_file.h"
#include "apps/common/project_source.h"
#include "apps/trellin-view/viewer.h"
#include "node/node_flags.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr char default_project[] = "trellin-project.json";

struct Failure {
    int code;
    std::string message;
};

// "1280x800" into its two numbers.
bool parse_size(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    try {
        std::size_t used_w = 0, used_h = 0;
        const std::string w = text.substr(0, x), h = text.substr(x + 1);
        width = std::stoi(w, &used_w);
        height = std::stoi(h, &used_h);
        return used_w == w.size() && used_h == h.size() && width >= 320 && height >= 240 && width <= 16384 &&
               height <= 16384;
    } catch (const std::exception&) {
        return false;
    }
}

// The panel node: restored from the project when its file exists, else new;
// then the --set settings. The project's render options go to `render`.
NodePtr panel_node(const NodeModule& module, const std::string& project, bool project_named,
                   const std::vector<std::string>& settings, RenderOptions& render)
{
    NodePtr node;
    std::error_code ec;
    if (project_named && fs::exists(project, ec)) {
        try {
            const RegV reg = read_project(project);
            node = node_from_project(module, reg, project);
            render = project_render_options(reg, project);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, e.what()};
        }
        std::cout << "trellin-view: opened the project " << project << "\n";
    } else {
        node = module.create_node();
        if (project_named) std::cout << "trellin-view: " << project << " does not exist yet; S creates it\n";
    }
    for (const std::string& text : settings) {
        try {
            // As in trellin, --set holds a control at one value: keys it
            // had from the project go.
            apply_setting(*node, parse_setting(text))->clear_keys();
        } catch (const SettingError& e) {
            throw Failure{exit_usage, std::string("--set ") + e.what()};
        }
    }
    return node;
}

// The picture as the node takes it, with the colours of the view, after
// the notes its reading left.
std::shared_ptr<HostPicture> node_picture(const std::string& input, const PictureColour& colour,
                                          std::shared_ptr<const trellin_view::ViewColour>& view)
{
    auto picture = std::make_shared<HostPicture>();
    try {
        PictureSource source;
        HostPicture read = read_picture(input, &source);
        NodeFrame frame = colour.to_node(std::move(read), std::move(source), input);
        for (const std::string& note : frame.notes) std::cout << "trellin-view: note: " << note << "\n";
        const std::string clipped = clip_note(frame.clipped, colour.options(), frame.working_space);
        if (!clipped.empty()) std::cout << "trellin-view: note: " << clipped << "\n";
        *picture = std::move(frame.picture);
        frame.picture = HostPicture();
        auto shown = std::make_shared<trellin_view::ViewColour>(trellin_view::ViewColour{colour, std::move(frame), input});
        shown->shown(*picture);  // a display the colour spaces cannot reach is an error now, not in the window
        view = std::move(shown);
    } catch (const PictureError& e) {
        throw Failure{exit_usage, e.what()};
    } catch (const ColourError& e) {
        throw Failure{exit_usage, e.what()};
    }
    return picture;
}

int run(const std::string& input, const std::string& project_option, const std::vector<std::string>& settings,
        const std::string& export_path, const std::string& window, const std::string& state_path,
        const RenderOverrides& colour_options)
{
    trellin_view::ViewerOptions options;
    options.input_name = fs::path(input).filename().string();
    options.project_path = project_option.empty() ? default_project : project_option;
    options.export_path = export_path;
    options.state_path = state_path;
    if (!window.empty() && !parse_size(window, options.window_width, options.window_height))
        throw Failure{exit_usage, "--window " + window + ": expected WIDTHxHEIGHT, at least 320x240"};
    if (!export_path.empty()) {
        try {
            check_output_path(export_path);
        } catch (const PictureError& e) {
            throw Failure{exit_usage, std::string("--export ") + e.what()};
        }
        if (same_file(input, export_path))
            throw Failure{exit_usage, "--export " + export_path + ": names the input picture; export to another file"};
    }

    NodeModule module = [] {
        try {
            return NodeModule::find();
        } catch (const ModuleError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }();
    RenderOptions render;
    NodePtr shown = panel_node(module, options.project_path, !project_option.empty(), settings, render);
    NodePtr renderer = module.create_node();
    const PictureColour colour = [&] {
        try {
            return PictureColour(apply_overrides(render, colour_options));
        } catch (const std::invalid_argument& e) {
            throw Failure{exit_usage, e.what()};
        } catch (const ColourError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }();
    renderer->set_flags(colour.options().refract_alpha ? vx::node_flag_refract_alpha : 0u);
    std::shared_ptr<HostPicture> picture = node_picture(input, colour, options.colour);
    const int code = trellin_view::run_viewer(options, std::move(shown), std::move(renderer), std::move(picture));
    return code;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: OpenImageIO's dependencies GEOS and
// OpenVDB keep a few bytes of their own to the end; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libgeos.so\nleak:libopenvdb.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char** argv)
{
    CLI::App app{"trellin-view: shows a picture through the Trellin cell-glass effect, with the effect's "
                 "handles over it and its controls below.",
                 "trellin-view"};
    std::string input, project, export_path, window, state_path;
    std::vector<std::string> settings;
    RenderOverrides colour_options;
    app.add_option("IN", input, "Picture to show: any format OpenImageIO reads")->required()->type_name("FILE");
    app.add_option("-p,--project", project,
                   "Project file: restored from when it exists, saved to by S (default: trellin-project.json "
                   "in the current folder, which is only saved to)")
        ->type_name("FILE");
    app.add_option("-s,--set", settings, "Set a control first, as LABEL=VALUE (repeatable; after the project)")
        ->allow_extra_args(false)
        ->type_name("LABEL=VALUE");
    app.add_option("-e,--export", export_path, "Picture E writes the full-size render to")->type_name("OUT");
    app.add_option("--window", window, "Window size (default: fits the picture on the screen)")
        ->type_name("WxH");
    app.add_option("--debug-state", state_path,
                   "Keep FILE up to date with the viewer's state as JSON (picture place, controls' values, "
                   "availability and places, render counts), for scripts and tests")
        ->type_name("FILE");
    add_colour_options(app, colour_options);
    app.footer(
        "In the window: drag the handles over the picture; change the controls in the panel; a change\n"
        "re-renders the picture (at the size it is shown at; the status line gives the render time).\n"
        "Keys: S save the project, E export the full-size picture, Esc quit.\n"
        "The picture is shown through the display's sRGB view (the sRGB display of the $OCIO config),\n"
        "whatever the working space; E writes it as trellin render writes it, in --colorspace-out.\n"
        "\n"
        "Examples:\n"
        "  trellin-view photo.png\n"
        "  trellin-view photo.png --project look.json --export glass.png\n"
        "  trellin-view photo.png --set CellShape=Hexagon --set \"Light Active=on\"\n"
        "\n"
        "A saved project renders the same with: trellin render photo.png out.png --project look.json\n"
        "Exit codes: 0 done, 1 no window could be opened, 2 usage or input errors.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return report_parse_error(app, e, argc, argv, "trellin-view", exit_usage);
    }
    try {
        return run(input, project, settings, export_path, window, state_path, colour_options);
    } catch (const Failure& f) {
        std::cerr << "trellin-view: error: " << f.message << "\n";
        return f.code;
    } catch (const std::bad_alloc&) {
        std::cerr << "trellin-view: error: out of memory\n";
        return exit_failed;
    } catch (const std::exception& e) {
        std::cerr << "trellin-view: error: " << e.what() << "\n";
        return exit_failed;
    }
}
