#include "apps/trellin-view/view_navigation.h"

#include <algorithm>
#include <cmath>

namespace trellin_view {

Rect ViewNavigation::place(const Rect& area, int image_width, int image_height, double pixel_aspect,
                           double framebuffer_scale)
{
    area_ = area;
    image_width_ = image_width;
    image_height_ = image_height;
    aspect_ = pixel_aspect > 0.0 ? pixel_aspect : 1.0;
    fb_scale_ = framebuffer_scale > 0.0 ? framebuffer_scale : 1.0;
    if (image_width <= 0 || image_height <= 0) return picture_ = Rect{};

    if (fitted_) {
        picture_ = fit_picture(area, image_width, image_height, aspect_);
        if (picture_.height > 0.0) zoom_ = picture_.height * fb_scale_ / double(image_height);
        return picture_;
    }
    Rect r;
    r.width = double(image_width) * aspect_ * zoom_ / fb_scale_;
    r.height = double(image_height) * zoom_ / fb_scale_;
    // Corners on whole framebuffer pixels, so that 1:1 is sharp.
    r.x = std::round((area.x + area.width * 0.5 - centre_x_ * r.width / double(image_width)) * fb_scale_) / fb_scale_;
    r.y =
        std::round((area.y + area.height * 0.5 - centre_y_ * r.height / double(image_height)) * fb_scale_) / fb_scale_;
    return picture_ = r;
}

void ViewNavigation::set_zoom(double zoom, double wx, double wy)
{
    if (picture_.width <= 0.0 || picture_.height <= 0.0) return;
    zoom = std::clamp(zoom, min_zoom, max_zoom);
    // The image point under (wx, wy) now, and where the area's centre falls
    // relative to it at the new zoom.
    const double ix = (wx - picture_.x) * double(image_width_) / picture_.width;
    const double iy = (wy - picture_.y) * double(image_height_) / picture_.height;
    const double width = double(image_width_) * aspect_ * zoom / fb_scale_;
    const double height = double(image_height_) * zoom / fb_scale_;
    centre_x_ = ix + (area_.x + area_.width * 0.5 - wx) * double(image_width_) / width;
    centre_y_ = iy + (area_.y + area_.height * 0.5 - wy) * double(image_height_) / height;
    zoom_ = zoom;
    fitted_ = false;
    place(area_, image_width_, image_height_, aspect_, fb_scale_);
}

void ViewNavigation::zoom_steps(double steps, double wx, double wy)
{
    // Whole steps land on the ladder even from a zoom between its rungs
    // (the fitted one); a touchpad's fractions of a step glide.
    const double rung = std::log2(zoom_) * 4.0;
    const bool whole = std::fabs(steps - std::round(steps)) < 1e-6;
    double to = rung + steps;
    if (whole) to = steps > 0.0 ? std::floor(rung + 1e-6) + steps : std::ceil(rung - 1e-6) + steps;
    set_zoom(std::exp2(to / 4.0), wx, wy);
}

void ViewNavigation::actual_pixels()
{
    set_zoom(1.0, area_.x + area_.width * 0.5, area_.y + area_.height * 0.5);
}

void ViewNavigation::pan(double dx, double dy)
{
    if (picture_.width <= 0.0 || picture_.height <= 0.0) return;
    if (fitted_) {
        // Panning a fitted picture starts from where it is.
        set_zoom(zoom_, area_.x + area_.width * 0.5, area_.y + area_.height * 0.5);
    }
    centre_x_ -= dx * double(image_width_) / picture_.width;
    centre_y_ -= dy * double(image_height_) / picture_.height;
    place(area_, image_width_, image_height_, aspect_, fb_scale_);
}

}  // namespace trellin_view
