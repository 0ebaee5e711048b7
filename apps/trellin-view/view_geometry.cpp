#include "apps/trellin-view/view_geometry.h"

#include <algorithm>
#include <cmath>

namespace trellin_view {

Rect fit_picture(const Rect& area, int image_width, int image_height, double pixel_aspect)
{
    Rect r;
    if (image_width <= 0 || image_height <= 0 || !(area.width >= 1.0) || !(area.height >= 1.0)) return r;
    const double aspect = pixel_aspect > 0.0 ? pixel_aspect : 1.0;
    const double shown_width = double(image_width) * aspect;
    const double shown_height = double(image_height);
    // The side that limits the picture fills the area exactly; the other
    // follows the picture's shape.
    if (area.width * shown_height <= area.height * shown_width) {
        r.width = std::floor(area.width);
        r.height = std::max(1.0, std::floor(area.width * shown_height / shown_width + 1e-9));
    } else {
        r.height = std::floor(area.height);
        r.width = std::max(1.0, std::floor(area.height * shown_width / shown_height + 1e-9));
    }
    r.x = area.x + std::floor((area.width - r.width) * 0.5);
    r.y = area.y + std::floor((area.height - r.height) * 0.5);
    return r;
}

ImagePoint window_to_image(const Rect& picture, int image_width, int image_height, double wx, double wy)
{
    ImagePoint p;
    if (picture.width <= 0.0 || picture.height <= 0.0) return p;
    p.x = static_cast<float>((wx - picture.x) * double(image_width) / picture.width);
    p.y = static_cast<float>((wy - picture.y) * double(image_height) / picture.height);
    return p;
}

WindowPoint image_to_window(const Rect& picture, int image_width, int image_height, double ix, double iy)
{
    WindowPoint p;
    if (image_width <= 0 || image_height <= 0) return p;
    p.x = picture.x + ix * picture.width / double(image_width);
    p.y = picture.y + iy * picture.height / double(image_height);
    return p;
}

Size preview_size(const Rect& picture, double framebuffer_scale, int image_width, int image_height)
{
    Size s;
    if (image_width <= 0 || image_height <= 0) return s;
    const double scale = framebuffer_scale > 0.0 ? framebuffer_scale : 1.0;
    const double w = std::round(picture.width * scale);
    const double h = std::round(picture.height * scale);
    // The shown picture keeps the picture's shape, so when one side reaches
    // full size the other is within a pixel of it: render at full size then.
    if (w >= double(image_width) || h >= double(image_height)) {
        s.width = image_width;
        s.height = image_height;
        return s;
    }
    s.width = std::max(1, int(w));
    s.height = std::max(1, int(h));
    return s;
}

Viewport picture_viewport(const Rect& picture, double window_height, double framebuffer_scale)
{
    const double scale = framebuffer_scale > 0.0 ? framebuffer_scale : 1.0;
    Viewport v;
    v.x = int(std::lround(picture.x * scale));
    v.width = int(std::lround(picture.width * scale));
    v.height = int(std::lround(picture.height * scale));
    v.y = int(std::lround((window_height - picture.y - picture.height) * scale));
    return v;
}

}  // namespace trellin_view
