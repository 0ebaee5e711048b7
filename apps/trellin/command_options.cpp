#include "apps/trellin/command_options.h"

#include <cstdint>
#include <filesystem>

#include "apps/common/cli/command_line_errors.h"
#include "apps/common/core/picture_limits.h"
#include "host/smp_pool.h"
#include "host/value_excerpt.h"

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

void use_threads(int threads)
{
    if (threads > 0) smp_set_numprocs(threads);
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
        ->check(trellin_app::not_empty("a look's name (trellin looks lists them)"))
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

NodePtr prepare_node(const NodeModule& module, const ControlOptions& controls, const NodeSettings& parsed,
                     ProjectReader reader, RenderOptions* project_render)
{
    NodeRecipe recipe;
    recipe.look = controls.look;
    recipe.project = controls.project;
    recipe.keys = parsed.keys;
    recipe.settings = parsed.settings;
    recipe.read_project = reader;
    PreparedNode prepared;
    try {
        prepared = trellin_app::prepare_node(module, recipe);
    } catch (const ModuleError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const RecipeError& e) {
        throw Failure{exit_usage, trellin_app::recipe_error_message(e)};
    }
    if (project_render != nullptr && prepared.render) *project_render = *prepared.render;
    return std::move(prepared.node);
}

}  // namespace trellin_cli
