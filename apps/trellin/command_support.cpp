#include "apps/trellin/command_support.h"

#include <iostream>

#include "apps/common/frame_render.h"
#include "host/smp_pool.h"

using namespace trellin_app;

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
            std::string message = std::string("--set ") + e.what();
            if (e.fault == SettingError::Fault::unknown_label) message += " (trellin info lists the controls)";
            throw Failure{exit_usage, message};
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

}  // namespace trellin_cli
