// trellin-view: the interactive viewer. Shows a picture or a numbered
// sequence rendered through the Trellin effect with the node's handles over
// it, a time bar and the node's control panel below; keys the controls over
// time, saves the settings as a project and exports the frame shown at full
// size.
//
// Exit codes: 0 done; 1 no window could be opened, the module made no
// node, or unsaved changes could not be kept on quitting; 2 a usage or
// input error (bad arguments, unreadable picture, sequence, project or look,
// unknown control, bad value, unknown colour space, module not found).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include <OpenImageIO/oiioversion.h>
#include "apps/common/cli/colour_options.h"
#include "apps/common/cli/command_line_errors.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/environment_check.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/output_file.h"
#include "apps/common/core/failure.h"
#include "apps/common/core/printable_text.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/image_io.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/common/picture/project_source.h"
#include "apps/trellin-view/shot.h"
#include "apps/trellin-view/time_bar.h"
#include "apps/trellin-view/timeline.h"
#include "apps/trellin-view/viewer.h"
#include "contract/node_flags.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace {

constexpr char default_project[] = "trellin-project.json";

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

struct Arguments {
    std::string input, project, look, export_path, window, state_path, frames;
    std::vector<std::string> settings;
    RenderOverrides colour;
    double fps = 0.0;  // 0: the input's own rate
    double ui_scale = 0.0;
};

// The panel node: restored from the named look, or from the project when its
// file exists, else new; then the --set settings. The project's render
// options go to `render` (a look carries none).
NodePtr panel_node(const NodeModule& module, const Arguments& a, const std::string& project, RenderOptions& render)
{
    NodeRecipe recipe;
    recipe.look = a.look;
    std::error_code ec;
    if (a.look.empty() && !a.project.empty() && fs::exists(project, ec)) recipe.project = project;
    recipe.read_project = read_project;
    try {
        // As in trellin, --set holds a control at one value: keys it had
        // from the project or look go.
        for (const std::string& text : a.settings) recipe.settings.push_back(parse_setting(text));
    } catch (const SettingError& e) {
        throw Failure{exit_usage, std::string("--set ") + e.what()};
    }
    PreparedNode prepared;
    try {
        prepared = prepare_node(module, recipe);
    } catch (const RecipeError& e) {
        std::string message = recipe_error_message(e);
        if (e.unknown_label) message += " (trellin info lists the controls)";
        throw Failure{exit_usage, message};
    }
    if (!prepared.look_name.empty())
        std::cout << "trellin-view: started from the look " << prepared.look_name << "\n";
    else if (!recipe.project.empty())
        std::cout << "trellin-view: opened the project " << project << "\n";
    else if (!a.project.empty())
        std::cout << "trellin-view: " << project << " does not exist yet; S creates it\n";
    if (prepared.render) render = *prepared.render;
    return std::move(prepared.node);
}

// The colour handling of the run: the project's render options with the
// command line's on top.
std::shared_ptr<const PictureColour> run_colour(const RenderOptions& render, const RenderOverrides& overrides)
{
    try {
        return std::make_shared<const PictureColour>(apply_overrides(render, overrides));
    } catch (const std::invalid_argument& e) {
        throw Failure{exit_usage, e.what()};
    } catch (const ColourError& e) {
        throw Failure{exit_usage, e.what()};
    }
}

// What reading the first frame left unclear, and the samples the node's
// range clipped in it.
void print_first_notes(const trellin_view::Shot& shot)
{
    const NodeFrame& first = *shot.first().colour;
    for (const std::string& note : first.notes) std::cout << "trellin-view: note: " << note << "\n";
    const std::string clipped = clip_note(first.clipped, first.hdr, first.working_space);
    if (!clipped.empty()) std::cout << "trellin-view: note: " << clipped << "\n";
}

// The samples clipped in all the frames read, when frames after the first
// added to them.
void print_run_clip_note(const trellin_view::Shot& shot)
{
    const NodeFrame& first = *shot.first().colour;
    const ClipCount all = shot.clipped();
    if (all.clipped == first.clipped.clipped && all.alpha_clipped == first.clipped.alpha_clipped) return;
    const std::string note = clip_note(all, first.hdr, first.working_space);
    if (!note.empty()) std::cout << "trellin-view: note: frames shown: " << note << "\n";
}

int run(const Arguments& a)
{
    trellin_view::ViewerOptions options;
    options.input_name = fs::path(a.input).filename().string();
    options.project_path = a.project.empty() ? default_project : a.project;
    options.export_path = a.export_path;
    options.state_path = a.state_path;
    options.ui_scale = a.ui_scale;
    if (!a.window.empty() && !parse_size(a.window, options.window_width, options.window_height))
        throw Failure{exit_usage, "--window " + a.window + ": expected WIDTHxHEIGHT, at least 320x240"};

    NodeModule module = [] {
        try {
            return NodeModule::find();
        } catch (const ModuleError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }();
    RenderOptions render;
    NodePtr shown = panel_node(module, a, options.project_path, render);
    const std::shared_ptr<const PictureColour> colour = run_colour(render, a.colour);
    NodePtr renderer = module.create_node();
    renderer->set_flags(colour->options().refract_alpha ? vx::node_flag_refract_alpha : 0u);

    // Every frame is converted into the working space as it is read; the
    // first one now, so that a conversion the spaces cannot make (into the
    // node or to the display) is an error here, not in the window.
    std::shared_ptr<const trellin_view::Shot> shot;
    try {
        shot = std::make_shared<const trellin_view::Shot>(a.input, a.frames, colour);
    } catch (const trellin_view::ShotError& e) {
        throw Failure{exit_usage, e.what()};
    }
    print_first_notes(*shot);
    options.fps = trellin_view::playback_rate(a.fps, shot->frame_rate());
    if (!a.export_path.empty()) {
        // The export names the frame shown when it numbers its frames.
        const long long first = shot->frames().front();
        std::string exported;
        try {
            exported = FramePattern(a.export_path).path_for(first);
            check_output_path(exported);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, std::string("--export ") + e.what()};
        } catch (const PictureError& e) {
            throw Failure{exit_usage, std::string("--export ") + e.what()};
        }
        if (same_file(shot->path_for(first), exported))
            throw Failure{exit_usage,
                          "--export " + a.export_path + ": names the input picture; export to another file"};
    }

    const int code = trellin_view::run_viewer(options, std::move(shown), std::move(renderer), shot);
    print_run_clip_note(*shot);
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{
        "trellin-view: shows a picture, a numbered sequence or a video through the Trellin cell-glass effect, "
        "with the effect's handles over it, a time bar and its controls below.",
        "trellin-view"};
    Arguments a;
    app.add_option("IN", a.input,
                   "Picture to show (any format OpenImageIO reads), a numbered sequence with --frames "
                   "(in.%04d.png or in.####.png), or a video file (all its frames, or those of --frames)")
        ->required()
        ->type_name("IN");
    app.add_option("-f,--frames", a.frames,
                   "The shot's frames FIRST to LAST (every STEP-th with xSTEP); each frame shows at time = its "
                   "number (a video's from 0). A still is frame 0, or the same picture at every frame given")
        ->type_name("FIRST-LAST[xSTEP]");
    CLI::Option* project =
        app.add_option("-p,--project", a.project,
                       "Project file: restored from when it exists, saved to by S (default: trellin-project.json "
                       "in the current folder, which is only saved to)")
            ->type_name("FILE");
    app.add_option("-l,--look", a.look,
                   "Start from a named look (trellin looks lists them; any case) instead of the defaults; "
                   "S saves to trellin-project.json")
        ->type_name("NAME")
        ->check(trellin_app::not_empty("a look's name (trellin looks lists them)"))
        ->excludes(project);
    app.add_option("-s,--set", a.settings,
                   "Set a control first, as LABEL=VALUE (repeatable; after the project or look)")
        ->allow_extra_args(false)
        ->type_name("LABEL=VALUE");
    app.add_option("-e,--export", a.export_path,
                   "Picture E writes the frame shown to at full size (a numbered name, out.%04d.png, takes "
                   "the frame's number)")
        ->type_name("OUT");
    app.add_option("--fps", a.fps,
                   "Playback rate in frames a second (default: the video's own rate, or the FramesPerSecond a "
                   "picture carries, else 24)")
        ->check(CLI::Range(0.1, 1000.0))
        ->type_name("RATE");
    app.add_option("--ui-scale", a.ui_scale,
                   "Size of the panel's text and controls, for high-density screens (default: the screen's "
                   "own scale, 1 on most)")
        ->check(CLI::Range(0.5, 4.0))
        ->type_name("SCALE");
    app.add_option("--window", a.window, "Window size (default: fits the picture and the panel on the screen)")
        ->type_name("WxH");
    app.add_option("--debug-state", a.state_path,
                   "Keep FILE up to date with the viewer's state as JSON (frame, zoom, picture place, controls' "
                   "values, keys, availability, places and texts, render counts), for scripts and tests")
        ->type_name("FILE");
    add_colour_options(app, a.colour);
    app.footer(
        std::string("In the window: drag the handles over the picture; change the controls in the panel; a change\n"
                    "re-renders the frame (at the size it is shown at, smaller while something moves; the status\n"
                    "line gives the render time, the zoom and the pixel under the pointer). Right-click a control to\n"
                    "set, delete or clear its keys; a keyed control's edits key it at the frame shown.\n"
                    "The frames (result and input) are shown through the display's sRGB view (the sRGB display of\n"
                    "the $OCIO config), whatever the working space; E writes the frame shown as trellin render\n"
                    "writes it, in --colorspace-out.\n"
                    "Keys: ") +
        trellin_view::viewer_keys_help +
        "\n"
        "\n"
        "Examples:\n"
        "  trellin-view photo.png\n"
        "  trellin-view photo.png --project look.json --export glass.png\n"
        "  trellin-view shot/in.%04d.png --frames 1-120 --project spin.json --export glass.%04d.png\n"
        "  trellin-view photo.png --frames 0-48 --set CellShape=Hexagon --set \"Light Active=on\"\n"
        "  trellin-view plate.%04d.exr --frames 1001-1100 --look hammered --hdr log\n"
        "\n"
        "A saved project renders the same with: trellin render photo.png out.png --project look.json\n"
        "(and a shot with: trellin render shot/in.%04d.png out.%04d.png --frames 1-120 --project spin.json)\n"
        "Exit codes: 0 done, 1 no window could be opened, 2 usage or input errors.");

    app.set_version_flag(
        "--version",
        [] {
            const std::string& name = software_name();
            return "trellin-view" + name.substr(name.find(' ')) + "\nOpenImageIO " OIIO_VERSION_STRING;
        },
        "Print the version and the libraries in use, then stop");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return report_parse_error(app, e, argc, argv, "trellin-view", exit_usage);
    }
    if (const std::vector<std::string> faults = environment_faults(); !faults.empty()) {
        for (const std::string& fault : faults) std::cerr << "trellin-view: error: " << fault << "\n";
        return exit_usage;
    }
    try {
        return run(a);
    } catch (const Failure& f) {
        std::cerr << "trellin-view: error: " << trellin_app::printable(f.message) << "\n";
        return f.code;
    } catch (const std::bad_alloc&) {
        std::cerr << "trellin-view: error: out of memory\n";
        return exit_failed;
    } catch (const std::exception& e) {
        std::cerr << "trellin-view: error: " << trellin_app::printable(e.what()) << "\n";
        return exit_failed;
    }
}
