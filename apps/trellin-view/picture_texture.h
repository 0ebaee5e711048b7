// A picture shown in the window: an OpenGL texture drawn over a rectangle of
// the window, in the window's current context (OpenGL 2.1, no shaders).
#pragma once

#include "apps/common/core/host_picture.h"
#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

class PictureTexture {
public:
    PictureTexture() = default;
    ~PictureTexture();
    PictureTexture(const PictureTexture&) = delete;
    PictureTexture& operator=(const PictureTexture&) = delete;

    // Replaces the texture's contents with `picture` (16-bit samples, 3 or 4
    // per pixel, rows top first).
    void upload(const trellin_app::HostPicture& picture);
    bool empty() const { return width_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Draws the picture stretched over `where` (window units), showing only
    // what falls inside `clip`, in a window `window_width` x `window_height`
    // units big whose framebuffer is `fb_width` x `fb_height` pixels, over a
    // dark backing so that transparent parts show as such. Enlarged two times
    // or more, its pixels show as squares; smaller, it is filtered.
    void draw(const Rect& where, const Rect& clip, double window_width, double window_height, int fb_width,
              int fb_height) const;

private:
    unsigned texture_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace trellin_view
