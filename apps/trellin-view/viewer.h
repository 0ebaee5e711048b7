// The viewer's window: a shot rendered through the effect with the node's
// handles drawn over it, the time bar, and the node's control panel below.
//
// Two nodes of the effect take part. The panel node lives on the window's
// thread: its controls are the ones the panel edits, evaluated at the frame
// shown, it draws the handles and takes the mouse events over the picture,
// and its settings (keys included) are what a project saves. The render node
// lives on a worker thread (RenderWorker) and renders from a snapshot of the
// panel node's settings taken with each request: a preview at the size the
// picture is shown at (smaller while something moves), and the full-size
// export of the frame shown.
#pragma once

#include <memory>
#include <string>

#include "apps/common/core/module_loader.h"
#include "apps/trellin-view/shot.h"

namespace trellin_view {

struct ViewerOptions {
    std::string input_name;    // shown in the title
    std::string project_path;  // where S saves the project
    std::string export_path;   // where E exports (may number frames); empty: none named
    int window_width = 0;      // 0: chosen from the picture and the screen
    int window_height = 0;
    std::string state_path;  // the state file (state_file.h); empty: none
    double fps = 24.0;       // playback rate
    double ui_scale = 0.0;   // size of the panel's text and controls; 0: the screen's
};

// Opens the window and runs it until the user quits. Returns the program's
// exit code: 0, or 1 when no window could be opened or unsaved changes
// could not be written to the recovery project.
int run_viewer(const ViewerOptions& options, trellin_app::NodePtr panel_node, trellin_app::NodePtr render_node,
               std::shared_ptr<const Shot> shot);

}  // namespace trellin_view
