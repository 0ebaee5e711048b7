// trellin: renders pictures through the Trellin effect module from the
// command line, lists the effect's controls and renders a demo picture.
//
// Exit codes: 0 done; 1 the effect refused the frame or the output could not
// be written; 2 a usage or input error (bad arguments, unreadable picture,
// unknown control, bad value, module not found). Every check on the
// arguments, the settings and the input runs before anything is written, and
// the output appears only complete (written beside it, then renamed).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "apps/common/control_setting.h"
#include "apps/common/control_text.h"
#include "apps/common/demo_picture.h"
#include "apps/common/frame_render.h"
#include "apps/common/image_io.h"
#include "apps/common/module_loader.h"
#include "host/smp_pool.h"
#include "node/host_api.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// A run that stops with a message and an exit code.
struct Failure {
    int code;
    std::string message;
};

struct FrameOptions {
    std::vector<std::string> settings;
    int threads = 0;  // 0: the host's default
};

NodeModule load_module()
{
    try {
        return NodeModule::find();
    } catch (const ModuleError& e) {
        throw Failure{exit_usage, e.what()};
    }
}

NodePtr create_node(const NodeModule& module)
{
    try {
        return module.create_node();
    } catch (const ModuleError& e) {
        throw Failure{exit_failed, e.what()};
    }
}

std::vector<Setting> parse_settings(const std::vector<std::string>& texts)
{
    std::vector<Setting> settings;
    try {
        for (const std::string& text : texts) settings.push_back(parse_setting(text));
    } catch (const SettingError& e) {
        throw Failure{exit_usage, std::string("--set ") + e.what()};
    }
    return settings;
}

void apply_settings(FXNode& node, const std::vector<Setting>& settings)
{
    for (const Setting& s : settings) {
        try {
            apply_setting(node, s);
        } catch (const SettingError& e) {
            std::string message = std::string("--set ") + e.what();
            if (e.fault == SettingError::Fault::unknown_label) message += " (trellin info lists the controls)";
            throw Failure{exit_usage, message};
        }
    }
}

void check_output(const std::string& path, bool format_only = false)
{
    try {
        if (format_only)
            output_format(path);
        else
            check_output_path(path);
    } catch (const PictureError& e) {
        throw Failure{exit_usage, e.what()};
    }
}

// Renders `input` through the node and writes the result to `output`.
WriteReport render_to_file(FXNode& node, const HostPicture& input, const std::string& input_name,
                           const std::string& output, int threads)
{
    if (threads > 0) smp_set_numprocs(threads);
    HostPicture result;
    if (render_frame(node, input, result) == 0)
        throw Failure{exit_failed, input_name + ": the effect refused the frame (see its warning above)"};
    try {
        return write_picture(result, output);
    } catch (const PictureError& e) {
        throw Failure{exit_failed, e.what()};
    }
}

void print_notes(const WriteReport& report, const std::string& output)
{
    if (report.alpha_dropped)
        std::cerr << "trellin: note: " << output << ": the " << report.format
                  << " format holds no alpha; wrote colour only\n";
}

int run_render(const std::string& input, const std::string& output, const FrameOptions& options)
{
    const std::vector<Setting> settings = parse_settings(options.settings);
    check_output(output);
    NodeModule module = load_module();
    NodePtr node = create_node(module);
    // Settings first: a bad one is reported without waiting for the picture.
    apply_settings(*node, settings);
    HostPicture picture;
    try {
        picture = read_picture(input);
    } catch (const PictureError& e) {
        throw Failure{exit_usage, e.what()};
    }
    print_notes(render_to_file(*node, picture, input, output, options.threads), output);
    return 0;
}

int run_demo(const std::string& output, const FrameOptions& options)
{
    const std::vector<Setting> settings = parse_settings(options.settings);
    check_output(output, true);
    NodeModule module = load_module();
    NodePtr node = create_node(module);
    apply_settings(*node, settings);
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) throw Failure{exit_failed, folder.string() + ": cannot create the folder: " + ec.message()};
    }
    check_output(output);
    const HostPicture picture = make_demo_picture();
    const WriteReport report = render_to_file(*node, picture, "demo picture", output, options.threads);
    print_notes(report, output);
    std::cout << "wrote " << output << " (" << picture.width << "x" << picture.height << ", "
              << (report.channels == 4 ? "RGBA" : "RGB") << ", " << report.sample_type << " " << report.format
              << ")\n";
    return 0;
}

// One row of the control list.
struct ControlRow {
    std::string index, label, kind, column, row, fallback, step, range;
};

int run_info()
{
    NodeModule module = load_module();
    NodePtr node = create_node(module);
    const char* description = node->get_description();

    std::cout << "node type    " << module.type_name() << "\n"
              << "UUID         " << module.uuid() << "\n"
              << "description  " << (description != nullptr ? description : "") << "\n"
              << "module       " << module.path() << "\n";

    CPanel panel;
    node->layout_controls(&panel);
    std::map<const CWidget*, CPanel::Placement> placed;
    for (const CPanel::Placement& p : panel.placements()) placed.emplace(p.control, p);

    const int count = node->num_controls();
    if (count == 0) {
        std::cout << "\ncontrols     none\n";
        return 0;
    }
    std::vector<ControlRow> rows;
    rows.push_back({"#", "label", "kind", "column", "row", "default", "step", "range"});
    for (int i = 0; i < count; ++i) {
        const CWidget* c = node->control(i);
        if (c == nullptr) continue;
        const auto p = placed.find(c);
        const bool on_panel = p != placed.end();
        rows.push_back({std::to_string(i), setting_label(*c), kind_name(c->kind()),
                        on_panel ? std::to_string(p->second.column) : "-",
                        on_panel ? std::to_string(p->second.row) : "-", default_text(*c), step_text(*c),
                        range_text(*c)});
    }
    std::size_t width[7] = {};
    for (const ControlRow& r : rows) {
        const std::string* cells[7] = {&r.index, &r.label, &r.kind, &r.column, &r.row, &r.fallback, &r.step};
        for (int k = 0; k < 7; ++k) width[k] = std::max(width[k], cells[k]->size());
    }
    std::cout << "\ncontrols (" << count << ", in creation order; column and row place them on the panel;\n"
              << "set them with --set LABEL=VALUE)\n";
    for (const ControlRow& r : rows) {
        const std::string* cells[7] = {&r.index, &r.label, &r.kind, &r.column, &r.row, &r.fallback, &r.step};
        std::string line = "  ";
        for (int k = 0; k < 7; ++k) line += *cells[k] + std::string(width[k] - cells[k]->size() + 2, ' ');
        line += r.range;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::cout << line << "\n";
    }
    return 0;
}

void add_frame_options(CLI::App& command, FrameOptions& options)
{
    command
        .add_option("-s,--set", options.settings,
                    "Set a control before the frame, as LABEL=VALUE (repeatable). Numbers for numeric "
                    "controls, on/off for switches, an item name or 0-based index for options, r,g,b,a for "
                    "the colour. Quote labels with spaces: --set \"Black Height=12\"")
        ->allow_extra_args(false)
        ->type_name("LABEL=VALUE");
    command.add_option("-t,--threads", options.threads, "Number of processors to render on (default: all)")
        ->check(CLI::Range(1, 1024))
        ->type_name("N");
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: reading a truncated PNG, OpenImageIO
// copies its error message in libpng's read callback, and libpng's error exit
// then jumps over that copy; the few bytes are the library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:OpenImageIO_v2_4::ImageInput::geterror\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

int main(int argc, char** argv)
{
    CLI::App app{"trellin: renders pictures through the Trellin cell-glass effect.", "trellin"};
    app.require_subcommand(1);
    app.footer(
        "Examples:\n"
        "  trellin render photo.png glass.png --set CellShape=Hexagon --set Index=1.6\n"
        "  trellin info\n"
        "  trellin demo\n"
        "\n"
        "Exit codes: 0 done, 1 the effect refused the frame or the output could not be written,\n"
        "2 usage or input errors. An existing output file is never left half written.\n"
        "Environment: TRELLIN_MODULE names the effect module (default: TrellinVx.node beside the\n"
        "program, then ../lib/trellin/); TRELLIN_THREADS sets the default processor count.\n"
        "Run 'trellin COMMAND --help' for the options of a command.");

    std::string input, output;
    std::string demo_output = "out/demo.png";
    FrameOptions render_options, demo_options;

    CLI::App* render = app.add_subcommand("render", "Render a picture file through the effect");
    render->add_option("IN", input, "Picture to read: any format OpenImageIO reads (8/16-bit or float; grey, "
                                    "grey+alpha, RGB or RGBA)")
        ->required()
        ->type_name("FILE");
    render->add_option("OUT", output, "Picture to write; its extension names the format (.png, .tif, .exr, "
                                      ".dpx: 16-bit or half; .jpg: 8-bit)")
        ->required()
        ->type_name("FILE");
    add_frame_options(*render, render_options);
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

    CLI::App* info = app.add_subcommand("info", "Show the effect's identity and its controls");
    info->footer(
        "Lists every control in creation order with its kind, panel column and row, default, step and\n"
        "the values it takes. The labels shown are the ones --set accepts (any case).\n"
        "\n"
        "Example:\n"
        "  trellin info");

    CLI::App* demo = app.add_subcommand("demo", "Render a built-in test picture through the effect");
    demo->add_option("OUT", demo_output, "Picture to write (default: out/demo.png; its folder is created)")
        ->type_name("FILE");
    add_frame_options(*demo, demo_options);
    demo->footer(
        "Makes a 960x540 16-bit RGBA test picture (colour sweep, checkerboard, discs), renders it with the\n"
        "effect's default settings (and any --set given) and prints where it wrote the result.\n"
        "\n"
        "Examples:\n"
        "  trellin demo\n"
        "  trellin demo hexagons.png --set CellShape=Hexagon");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : exit_usage;
    }

    try {
        if (render->parsed()) return run_render(input, output, render_options);
        if (info->parsed()) return run_info();
        if (demo->parsed()) return run_demo(demo_output, demo_options);
    } catch (const Failure& f) {
        std::cerr << "trellin: error: " << f.message << "\n";
        return f.code;
    } catch (const std::bad_alloc&) {
        std::cerr << "trellin: error: out of memory\n";
        return exit_failed;
    } catch (const std::exception& e) {
        std::cerr << "trellin: error: " << e.what() << "\n";
        return exit_failed;
    }
    return exit_usage;
}
