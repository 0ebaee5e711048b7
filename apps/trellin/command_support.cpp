#include "apps/trellin/command_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/picture_limits.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/project_source.h"
#include "host/smp_pool.h"
#include "host/value_excerpt.h"
#include "contract/node_flags.h"

namespace fs = std::filesystem;

using namespace trellin_app;
using host_detail::excerpt;

namespace trellin_cli {

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
            throw Failure{exit_usage, std::string("--set ") + e.what()};
        }
    }
}

void check_output(const std::string& path, bool format_only)
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

void use_threads(int threads)
{
    if (threads > 0) smp_set_numprocs(threads);
}

WriteReport render_to_file(FXNode& node, const HostPicture& input, const std::string& input_name,
                           const std::string& output, double time)
{
    HostPicture result;
    if (render_frame(node, input, result, time) == 0)
        throw Failure{exit_failed, input_name + ": the effect refused the frame (see its warning above)"};
    try {
        remove_stale_temporaries(output);
        return write_picture(result, output);
    } catch (const PictureError& e) {
        throw Failure{exit_failed, e.what()};
    }
}

void create_folder(const std::string& folder)
{
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw Failure{exit_failed, folder + ": cannot create the folder: " + ec.message()};
}

void write_contact_sheet(const ContactSheet& sheet, const std::string& path, const WriteOptions& options)
{
    try {
        write_picture(sheet.picture, path, options);
    } catch (const PictureError& e) {
        throw Failure{exit_failed, e.what()};
    }
    if (!sheet.labelled)
        std::cerr << "trellin: note: " << path << ": labels left out: the font " << sheet_font
                  << " was not found (Debian package fonts-dejavu-core)\n";
}

void print_notes(const WriteReport& report, const std::string& output)
{
    if (report.alpha_dropped)
        std::cerr << "trellin: note: " << output << ": the " << report.format
                  << " format holds no alpha; wrote colour only\n";
}

void add_control_options(CLI::App& command, ControlOptions& options, bool with_save)
{
    CLI::Option* project =
        command
            .add_option("-p,--project", options.project,
                        "Restore the controls (values and keys) from a project file written by --save-project")
            ->type_name("FILE");
    command
        .add_option("-l,--look", options.look,
                    "Restore the controls from a named look (trellin looks lists them; any case); --set and "
                    "--key then change it")
        ->type_name("NAME")
        ->excludes(project);
    command
        .add_option("-k,--key", options.keys,
                    "Add an animation key, as LABEL@TIME=VALUE (repeatable); TIME is a frame number. "
                    "Values between keys are interpolated (numbers and the colour linearly; switches and "
                    "options hold the earlier key)")
        ->allow_extra_args(false)
        ->type_name("LABEL@TIME=VALUE");
    if (with_save)
        command
            .add_option("--save-project", options.save_project,
                        "After the run, write the controls (values and keys) to a project file")
            ->type_name("FILE");
}

NodeSettings parse_node_settings(const FrameOptions& frame, const ControlOptions& controls)
{
    NodeSettings parsed;
    parsed.settings = parse_settings(frame.settings);
    try {
        for (const std::string& text : controls.keys) parsed.keys.push_back(parse_key(text));
    } catch (const SettingError& e) {
        throw Failure{exit_usage, std::string("--key ") + e.what()};
    }
    if (!controls.save_project.empty()) {
        std::error_code ec;
        const fs::path folder = fs::path(controls.save_project).parent_path();
        if (fs::is_directory(controls.save_project, ec))
            throw Failure{exit_usage, controls.save_project + ": --save-project names a folder"};
        if (!folder.empty() && !fs::is_directory(folder, ec))
            throw Failure{exit_usage, controls.save_project + ": cannot write here: no folder " + folder.string()};
    }
    return parsed;
}

NodePtr prepare_node(const NodeModule& module, const ControlOptions& controls, const NodeSettings& parsed,
                     RenderOptions* project_render)
{
    NodeRecipe recipe;
    recipe.look = controls.look;
    recipe.project = controls.project;
    recipe.keys = parsed.keys;
    recipe.settings = parsed.settings;
    recipe.read_project = read_project;
    PreparedNode prepared;
    try {
        prepared = trellin_app::prepare_node(module, recipe);
    } catch (const ModuleError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const RecipeError& e) {
        switch (e.step) {
        case RecipeError::Step::look:
            throw Failure{exit_usage, std::string("--look: ") + e.what()};
        case RecipeError::Step::project:
            throw Failure{exit_usage, e.what()};
        case RecipeError::Step::key:
            throw Failure{exit_usage, std::string("--key ") + e.what()};
        case RecipeError::Step::keyed_setting:
            throw Failure{exit_usage, "--set " + e.subject + ": \"" + e.control +
                                          "\" also has --key; --set holds a control for the whole run"};
        case RecipeError::Step::setting:
            break;
        }
        throw Failure{exit_usage, std::string("--set ") + e.what()};
    }
    if (project_render != nullptr && prepared.render) *project_render = *prepared.render;
    return std::move(prepared.node);
}

void save_project_if_asked(FXNode& node, const ControlOptions& controls, const RenderOptions* render)
{
    if (controls.save_project.empty()) return;
    try {
        save_project(node, controls.save_project, render);
    } catch (const ProjectError& e) {
        throw Failure{exit_failed, e.what()};
    }
}

PictureColour prepare_colour(FXNode& node, const RenderOptions& from_project, const RenderOverrides& overrides)
{
    try {
        PictureColour colour(apply_overrides(from_project, overrides));
        node.set_flags(colour.options().refract_alpha ? vx::node_flag_refract_alpha : 0u);
        return colour;
    } catch (const std::invalid_argument& e) {
        throw Failure{exit_usage, e.what()};
    } catch (const ColourError& e) {
        throw Failure{exit_usage, e.what()};
    }
}

void print_clip_notes(const ClipCount& before, const ClipCount& written, HdrMode hdr, const std::string& working_space,
                      const std::string& output)
{
    const std::string note = clip_note(before, hdr, working_space);
    if (!note.empty()) std::cerr << "trellin: note: " << note << "\n";
    if (written.clipped > 0)
        std::cerr << "trellin: note: " << written.clipped << " of " << written.total
                  << " samples lay outside 0..1 in the output's colour space and were clipped when written to "
                  << output << " (lowest " << written.lowest << ", highest " << written.highest
                  << "); a float format (OpenEXR) keeps them\n";
}

void add_verbosity_options(CLI::App& command, Verbosity& verbosity)
{
    command.add_flag_callback(
        "-q,--quiet", [&verbosity] { verbosity = Verbosity::quiet; }, "Print nothing but errors (no progress line)");
    command.add_flag_callback(
        "-v,--verbose", [&verbosity] { verbosity = Verbosity::verbose; }, "Print one line per frame");
}

PictureSize parse_picture_size(const std::string& text, const std::string& option, bool check_memory)
{
    PictureSize size;
    const std::size_t x = text.find('x');
    auto whole = [](const std::string& t, int& v) {
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::stoi(t);
        return v >= 1;
    };
    if (x == std::string::npos || !whole(text.substr(0, x), size.width) || !whole(text.substr(x + 1), size.height))
        throw Failure{exit_usage, option + " " + excerpt(text) + ": expected WIDTHxHEIGHT in pixels, e.g. 1920x1080"};
    if (const std::string why = picture_size_fault(size.width, size.height, check_memory ? 0 : UINT64_MAX);
        !why.empty())
        throw Failure{exit_usage, option + " " + why};
    return size;
}

void check_save_target(const std::string& path)
{
    try {
        check_project_target(path);
    } catch (const ProjectError& e) {
        throw Failure{exit_usage, std::string("--save-project ") + e.what()};
    }
}

void check_picture_files(const std::string& input, const std::string& output, const ControlOptions& controls)
{
    if (same_file(input, output))
        throw Failure{exit_usage, output + ": OUT names the input picture; write the result to another file"};
    const std::string& project = controls.save_project;
    if (project.empty()) return;
    check_folder_writable(project);
    for (const auto& [picture, what] : {std::pair{input, "the input"}, std::pair{output, "the output"}}) {
        if (same_file(project, picture))
            throw Failure{exit_usage, project + ": --save-project names " + what + " picture"};
    }
    check_save_target(project);
}

CLI::Validator finite_number()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double v = 0.0;
            if (parse_number(text, v)) return {};
            return "expected a finite number, not " + excerpt(text);
        },
        "NUMBER", "finite number");
}

void check_folder_writable(const std::string& path)
{
    const fs::path target(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const fs::path probe = folder / (".trellin-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST) return;  // a file of that name: the folder takes files
        throw Failure{exit_usage, path + ": cannot write in " + folder.string() + ": " + std::strerror(err)};
    }
    ::close(fd);
    ::unlink(probe.c_str());
}

}  // namespace trellin_cli
