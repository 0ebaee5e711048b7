// Where the picture sits in the viewer's window, and the mapping between
// window positions and pixels of the node's output picture.
//
// Window positions are in window units with the origin at the top-left
// corner and y downwards (what the windowing system reports for the
// pointer). Image pixels have the same orientation: origin at the picture's
// top-left corner, y downwards, in pixels of the full-size picture, which is
// the space the node's handles and mouse events use.
#pragma once

namespace trellin_view {

// A rectangle in window units.
struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    bool contains(double px, double py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// The largest rectangle that shows a picture of `image_width` x
// `image_height` pixels, each `pixel_aspect` times as wide as high, inside
// `area` with its shape kept, centred in the area. Its corners fall on whole
// window units so that the picture is not blurred by a half-unit shift. Empty
// (zero size) when the area or the picture is empty.
Rect fit_picture(const Rect& area, int image_width, int image_height, double pixel_aspect);

// A point of the shown picture in image pixels: (wx, wy) in window units over
// `picture`, the picture being `image_width` x `image_height` pixels. Points
// outside the picture map outside 0..width and 0..height. Computed in double
// and rounded once to float, the form of the node's mouse events.
struct ImagePoint {
    float x = 0.0f;
    float y = 0.0f;
};
ImagePoint window_to_image(const Rect& picture, int image_width, int image_height, double wx, double wy);

// The window position of image pixel position (ix, iy): the inverse of
// window_to_image.
struct WindowPoint {
    double x = 0.0;
    double y = 0.0;
};
WindowPoint image_to_window(const Rect& picture, int image_width, int image_height, double ix, double iy);

// The size to render a preview at: the shown picture's size in framebuffer
// pixels (window units times `framebuffer_scale`), rounded, but never larger
// than the full picture: when either side reaches full size the full size is
// used (a picture shown enlarged is rendered at full size and enlarged when
// drawn). Never below one pixel.
struct Size {
    int width = 0;
    int height = 0;
};
Size preview_size(const Rect& picture, double framebuffer_scale, int image_width, int image_height);

// An OpenGL viewport (origin at the bottom-left corner of the framebuffer,
// in framebuffer pixels) over `picture`, for a window `window_height` units
// high whose framebuffer has `framebuffer_scale` pixels per unit.
struct Viewport {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
Viewport picture_viewport(const Rect& picture, double window_height, double framebuffer_scale);

}  // namespace trellin_view
