// A headless OpenGL view of a picture: a compatibility-profile context
// without any window (surfaceless EGL), drawing into an RGBA8 framebuffer of
// the picture's size. The projection puts the picture's centre at the origin,
// x to the right and y downwards, one unit per pixel, as a viewer showing the
// picture at 1:1 sets it up for a node's overlay.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trellin_gl {

class HeadlessView {
public:
    // A current context drawing into a width x height framebuffer. Null, with
    // the reason in `error`, when no context can be had.
    static std::unique_ptr<HeadlessView> create(int width, int height, std::string& error);
    ~HeadlessView();
    HeadlessView(const HeadlessView&) = delete;
    HeadlessView& operator=(const HeadlessView&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // Makes this view's context current on the calling thread again (after
    // another view was used).
    void make_current();

    // Fills the framebuffer with one colour (components 0..1).
    void clear(float r, float g, float b, float a);
    // Draws a picture of the view's size over the whole framebuffer, rows top
    // first, `channels` (3 or 4) interleaved samples per pixel. Blending and
    // smoothing are off while it draws.
    void draw_picture(const std::uint8_t* samples, int channels);
    void draw_picture(const std::uint16_t* samples, int channels);

    // Waits for the drawing and reads the framebuffer back, rows top first,
    // four 8-bit samples (r, g, b, a) per pixel.
    std::vector<std::uint8_t> read_rgba8();

private:
    HeadlessView() = default;
    void draw_pixels(const void* samples, int channels, unsigned type);

    int width_ = 0;
    int height_ = 0;
    void* display_ = nullptr;
    void* context_ = nullptr;
    unsigned framebuffer_ = 0;
    unsigned colour_buffer_ = 0;
};

}  // namespace trellin_gl
