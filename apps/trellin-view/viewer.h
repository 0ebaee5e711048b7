// The viewer's window: the picture rendered through the effect with the
// node's handles drawn over it, and the node's control panel below.
//
// Two nodes of the effect take part. The panel node lives on the window's
// thread: its controls are the ones the panel edits, it draws the handles and
// takes the mouse events over the picture, and its settings are what a
// project saves. The render node lives on a worker thread (RenderWorker) and
// renders from a snapshot of the panel node's settings taken with each
// request: a preview at the size the picture is shown at, and the full-size
// export.
#pragma once

#include <memory>
#include <string>

#include "apps/common/host_picture.h"
#include "apps/common/module_loader.h"
#include "apps/trellin-view/render_worker.h"

namespace trellin_view {

struct ViewerOptions {
    std::string input_name;   // shown in the title
    std::string project_path;  // where S saves the project
    std::string export_path;   // where E exports; empty: none named
    int window_width = 0;      // 0: chosen from the picture and the screen
    int window_height = 0;
    std::string state_path;  // the state file (state_file.h); empty: none
    // The picture's colours (shown through the display's view, exported in
    // the output's space); null: as the node makes them.
    std::shared_ptr<const ViewColour> colour;
};

// Opens the window and runs it until the user quits. Returns the program's
// exit code: 0, or 1 when no window could be opened.
int run_viewer(const ViewerOptions& options, trellin_app::NodePtr panel_node, trellin_app::NodePtr render_node,
               std::shared_ptr<const trellin_app::HostPicture> input);

}  // namespace trellin_view
