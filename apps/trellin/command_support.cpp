#include "apps/trellin/command_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>

#include "apps/common/cli/command_line_errors.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/common/picture/project_source.h"
#include "contract/node_flags.h"

namespace fs = std::filesystem;

using namespace trellin_app;

namespace trellin_cli {

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
    if (report.settings_dropped)
        std::cerr << "trellin: note: " << output << ": the settings were too large for the " << report.format
                  << " format (at most " << settings_capacity(report.format)
                  << " characters read back whole); the picture carries none\n";
}

NodePtr prepare_node(const NodeModule& module, const ControlOptions& controls, const NodeSettings& parsed,
                     RenderOptions* project_render)
{
    return prepare_node(module, controls, parsed, read_project, project_render);
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
    const long long finite = written.clipped - written.non_finite;
    if (finite > 0)
        std::cerr << "trellin: note: " << finite << " of " << written.total
                  << " samples lay outside 0..1 in the output's colour space and were clipped when written to "
                  << output << " (lowest " << written.lowest << ", highest " << written.highest
                  << "); a float format (OpenEXR) keeps them\n";
    if (written.non_finite > 0)
        std::cerr << "trellin: note: " << written.non_finite << " of " << written.total
                  << " samples were not finite (NaN or infinite) in the output's colour space and were written to "
                  << output << " as 0 or 1\n";
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
    check_save_project(controls, {{input, "the input picture"}, {output, "the output picture"}});
}

void check_save_project(const ControlOptions& controls, const std::vector<RunFile>& files)
{
    const std::string& project = controls.save_project;
    if (project.empty()) return;
    check_folder_writable(project);
    for (const RunFile& file : files) {
        bool named = same_file(project, file.path);
        if (!named) {
            try {
                const FramePattern frames(absolute_name(file.path));
                named = frames.numbered() && (frames.frame_of(absolute_name(project)) ||
                                              FramePattern(resolved_name(file.path)).frame_of(resolved_name(project)));
            } catch (const SequenceError&) {
                // Not a pattern the run takes: its own check says so.
            }
        }
        if (named) throw Failure{exit_usage, project + ": --save-project names " + file.what};
    }
    check_save_target(project);
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
