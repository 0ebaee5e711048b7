// What several commands share: loading the module, making a node, settings
// from --set, output checks and notes, and the options every rendering
// command takes.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "apps/common/control_setting.h"
#include "apps/common/host_picture.h"
#include "apps/common/image_io.h"
#include "apps/common/module_loader.h"
#include "apps/trellin/commands.h"

namespace trellin_cli {

// Options of the commands that render frames.
struct FrameOptions {
    std::vector<std::string> settings;  // --set LABEL=VALUE
    int threads = 0;                    // --threads N; 0: the host's default
};

// Adds --set and --threads to `command`.
void add_frame_options(CLI::App& command, FrameOptions& options);

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
                                        const std::string& input_name, const std::string& output,
                                        double time = 0.0);

// Notes on standard error about what a write left out.
void print_notes(const trellin_app::WriteReport& report, const std::string& output);

}  // namespace trellin_cli
