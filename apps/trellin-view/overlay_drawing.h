// The node's handles drawn over the shown picture at any zoom.
//
// The node draws in pixels of its output picture, about the picture's
// centre, with y downwards, into whatever OpenGL projection it finds. Here
// the projection maps those pixels onto the picture as it lies in the
// window (zoomed and moved), clipped to the picture's area. Before the node's
// own drawing, the viewer may draw the same handles once more, wider and
// dark, as an outline under them, so that they show on any picture; the
// node's drawing itself is unchanged.
#pragma once

#include "apps/trellin-view/view_geometry.h"
#include "contract/host_api.h"

namespace trellin_view {

struct OverlayPlace {
    Rect picture;  // where the picture lies, window units
    Rect area;     // the part of the window it may be seen in
    int image_width = 0;
    int image_height = 0;
    double window_height = 0.0;
    double framebuffer_scale = 1.0;
};

// Draws the node's overlay (through its draw_overlay) over the picture;
// with `outline`, a dark outline first.
void draw_node_overlay(FXNode& node, const OverlayPlace& place, bool outline);

}  // namespace trellin_view
