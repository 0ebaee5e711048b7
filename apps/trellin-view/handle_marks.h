// Handles that lie outside the picture, where the viewer shows them: each
// position control (an "_X"/"_Y" pair) whose point is off the picture, or
// off the part of it the window shows, is marked on that part's edge, at the
// point nearest its own, with an arrow towards it. A press on a mark takes
// the handle as a press on the handle itself would, and the drag brings it
// to the pointer.
#pragma once

#include <string>
#include <vector>

#include "apps/trellin-view/view_geometry.h"
#include "contract/host_api.h"

namespace trellin_view {

struct HandleMark {
    std::string label;  // the position's title ("Light", "Angle Centre")
    double x = 0.0;     // where the mark is drawn, window units: on the edge
    double y = 0.0;
    double towards_x = 0.0;  // the unit direction from the mark to the handle
    double towards_y = 0.0;
    double image_x = 0.0;  // the handle's own place, image pixels
    double image_y = 0.0;
};

// The marks of `node`'s available position controls whose points lie
// outside the picture shown at `picture` within the window's `area` (both
// window units); the image is `image_width` x `image_height` pixels.
std::vector<HandleMark> outside_handle_marks(FXNode& node, const Rect& picture, const Rect& area, int image_width,
                                             int image_height);

// The mark within `reach` window units of (x, y) on both axes; null: none.
const HandleMark* mark_at(const std::vector<HandleMark>& marks, double x, double y, double reach);

}  // namespace trellin_view
