// What the commands that read or write pictures share: preparing the node
// and its colour handling, output checks, writing and the notes on it. The
// options they take and their checks are in command_options.h.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/pictures/contact_sheet.h"
#include "apps/common/cli/colour_options.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/picture/image_io.h"
#include "apps/common/core/output_file.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/common/core/render_options.h"
#include "apps/trellin/command_options.h"

namespace trellin_cli {

// A node ready for the run: restored from the project (a project file or a
// picture rendered by trellin) or the look (or new), the keys of --key added,
// then every --set applied for the whole run (the control's keys cleared).
// The project's render options go to `project_render` when given. Failures
// (exit code 2) name the file, the label or the value.
trellin_app::NodePtr prepare_node(const trellin_app::NodeModule& module, const ControlOptions& controls,
                                  const NodeSettings& settings, trellin_app::RenderOptions* project_render = nullptr);

// Writes --save-project when given, with the run's render options (a Failure
// with exit code 1 when it cannot be written).
void save_project_if_asked(FXNode& node, const ControlOptions& controls,
                           const trellin_app::RenderOptions* render = nullptr);

// The run's colour handling: the project's options with the command line's
// over them, every name given checked (a Failure with exit code 2 naming the
// option or the project). Turns on the node's alpha refraction when asked.
trellin_app::PictureColour prepare_colour(FXNode& node, const trellin_app::RenderOptions& from_project,
                                          const trellin_app::RenderOverrides& overrides);

// Notes a run prints once, at its end, on samples clipped before the node
// in `hdr` mode (`working_space` names where) and on writing (`output` names
// the format).
void print_clip_notes(const trellin_app::ClipCount& before, const trellin_app::ClipCount& written,
                      trellin_app::HdrMode hdr, const std::string& working_space, const std::string& output);

// Checks that --save-project may write `path`: it does not exist or is a
// project file. A Failure with exit code 2 otherwise.
void check_save_target(const std::string& path);

// A file of a run that --save-project may not name: IN or OUT, a file (a
// picture or a video) or a numbered sequence (any frame of it). `what` says
// which ("the input picture", "an output frame").
struct RunFile {
    std::string path;
    std::string what;
};

// The one check of --save-project, made on every path that offers it before
// anything is read or rendered: its folder takes files, it names none of
// `files` (compared as files: the same name once made absolute or once its
// folder is resolved through links, or one existing file reached by both; a
// sequence by the names of its frames) and replaces no other file than a
// project. A Failure with exit code 2 naming the file otherwise; nothing when
// --save-project was not given.
void check_save_project(const ControlOptions& controls, const std::vector<RunFile>& files);

// The files of a one-picture run: OUT is not IN, and --save-project (when
// given) can be made, names neither picture and replaces no other file. A
// Failure with exit code 2 otherwise.
void check_picture_files(const std::string& input, const std::string& output, const ControlOptions& controls);

// Checks that a file can be made in the folder of `path` by making and
// removing one (a folder may exist and still refuse new files). A Failure
// with exit code 2 naming `path` otherwise.
void check_folder_writable(const std::string& path);

// Checks that a picture can be written to `path` (or, with `format_only`, that
// its extension names a format). A Failure with exit code 2 otherwise.
void check_output(const std::string& path, bool format_only = false);

// Renders `input` through the node as the frame at `time` and writes the
// result to `output`. Failures (exit code 1) name `input_name` or `output`.
trellin_app::WriteReport render_to_file(FXNode& node, const trellin_app::HostPicture& input,
                                        const std::string& input_name, const std::string& output, double time = 0.0);

// Creates `folder` and its parents (nothing for an empty path); a Failure
// with exit code 1 when it cannot.
void create_folder(const std::string& folder);

// Writes a contact sheet (a Failure with exit code 1 naming `path` when it
// cannot) and notes on standard error when its labels were left out.
void write_contact_sheet(const trellin_app::ContactSheet& sheet, const std::string& path,
                         const trellin_app::WriteOptions& options = {});

// Notes on standard error about what a write left out.
void print_notes(const trellin_app::WriteReport& report, const std::string& output);

}  // namespace trellin_cli
