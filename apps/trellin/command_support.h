// What several commands share: loading the module, making a node, settings
// from --set, output checks and notes, and the options every rendering
// command takes.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/trellin/contact_sheet.h"
#include "apps/common/core/control_key.h"
#include "apps/common/cli/colour_options.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/picture/image_io.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/output_file.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/common/core/render_options.h"
#include "apps/trellin/commands.h"
#include "apps/trellin/progress.h"

namespace trellin_cli {

// Options of the commands that render frames.
struct FrameOptions {
    std::vector<std::string> settings;  // --set LABEL=VALUE
    int threads = 0;                    // --threads N; 0: the host's default
};

// Adds --set and --threads to `command`.
void add_frame_options(CLI::App& command, FrameOptions& options);

// Where a rendering command's node gets its settings from.
struct ControlOptions {
    std::string project;            // --project FILE: restore the node from it
    std::string look;               // --look NAME: restore the node from a named look
    std::vector<std::string> keys;  // --key LABEL@TIME=VALUE
    std::string save_project;       // --save-project FILE (commands that offer it)
};

// Adds --project, --look and --key (and --save-project when `with_save`) to
// `command`.
void add_control_options(CLI::App& command, ControlOptions& options, bool with_save);

// Checks what can be checked before the module is loaded: the syntax of every
// --set and --key, the same control named by both, and the folder of
// --save-project. A Failure with exit code 2 otherwise.
struct NodeSettings {
    std::vector<trellin_app::Setting> settings;
    std::vector<trellin_app::KeySetting> keys;
};
NodeSettings parse_node_settings(const FrameOptions& frame, const ControlOptions& controls);

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

// --quiet and --verbose.
void add_verbosity_options(CLI::App& command, Verbosity& verbosity);

// A picture size "WxH" within the limits of picture_limits.h, the memory
// limit too when `check_memory` (a Failure with exit code 2 naming `option`).
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize parse_picture_size(const std::string& text, const std::string& option, bool check_memory = true);

// Checks that --save-project may write `path`: it does not exist or is a
// project file. A Failure with exit code 2 otherwise.
void check_save_target(const std::string& path);

// The files of a one-picture run: OUT is not IN, and --save-project (when
// given) can be made, names neither picture and replaces no other file. A
// Failure with exit code 2 otherwise.
void check_picture_files(const std::string& input, const std::string& output, const ControlOptions& controls);

// A check for numeric options: a finite decimal number (no nan, inf or hex).
CLI::Validator finite_number();

// Checks that a file can be made in the folder of `path` by making and
// removing one (a folder may exist and still refuse new files). A Failure
// with exit code 2 naming `path` otherwise.
void check_folder_writable(const std::string& path);

// The effect module (a Failure with exit code 2 when it cannot be loaded).
trellin_app::NodeModule load_module();
// A new node (a Failure with exit code 1 when the module makes none).
trellin_app::NodePtr create_node(const trellin_app::NodeModule& module);

// Parses every --set text; a Failure with exit code 2 names the bad one.
std::vector<trellin_app::Setting> parse_settings(const std::vector<std::string>& texts);
// Applies the settings in order; a Failure with exit code 2 names the bad one.
void apply_settings(FXNode& node, const std::vector<trellin_app::Setting>& settings);

// Checks that a picture can be written to `path` (or, with `format_only`, that
// its extension names a format). A Failure with exit code 2 otherwise.
void check_output(const std::string& path, bool format_only = false);

// Sets the processor count when `threads` is positive.
void use_threads(int threads);

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
