// Zoom and pan: where the picture lies in the picture area of the window.
//
// The picture is either fitted to the area (the whole picture, as large as
// the area allows) or shown at a zoom the user chose and moved about. Zoom is
// counted in framebuffer pixels per image pixel (down a column, so pictures
// with wide pixels keep their shape): 1 shows the picture's pixels 1:1 on
// the screen. Wheel zooms step along the ladder 2^(k/4), so four steps
// double the size and 1:1 and 2:1 lie on it.
#pragma once

#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

class ViewNavigation {
public:
    static constexpr double min_zoom = 1.0 / 64.0;
    static constexpr double max_zoom = 64.0;

    // Places the picture (`image_width` x `image_height` pixels of
    // `pixel_aspect`) in `area` for a framebuffer of `framebuffer_scale`
    // pixels per window unit, and returns where it lies (it may reach past
    // the area when zoomed in). Call once per frame, before the operations
    // below, which act on this placement.
    Rect place(const Rect& area, int image_width, int image_height, double pixel_aspect, double framebuffer_scale);

    const Rect& picture() const { return picture_; }
    double zoom() const { return zoom_; }
    bool fitted() const { return fitted_; }

    // The whole picture, as large as the area allows.
    void fit() { fitted_ = true; }
    // Zooms by `steps` steps of the ladder (positive: larger), keeping the
    // picture's point under the window position (wx, wy) in place.
    void zoom_steps(double steps, double wx, double wy);
    // Shows the picture's pixels 1:1, keeping the point at the area's centre.
    void actual_pixels();
    // Moves the picture by (dx, dy) window units.
    void pan(double dx, double dy);

private:
    // The zoom `zoom` about the window point (wx, wy): the image point under
    // it stays there.
    void set_zoom(double zoom, double wx, double wy);

    Rect area_;
    int image_width_ = 0;
    int image_height_ = 0;
    double aspect_ = 1.0;
    double fb_scale_ = 1.0;

    bool fitted_ = true;
    double zoom_ = 1.0;
    // The image point at the area's centre while not fitted.
    double centre_x_ = 0.0;
    double centre_y_ = 0.0;
    Rect picture_;
};

}  // namespace trellin_view
