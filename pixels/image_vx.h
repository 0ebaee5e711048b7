// The framework's image record: four unsigned 16-bit samples per pixel
// (red, green, blue, alpha) in 0..32767, rows top first, with a table of row
// pointers.
#pragma once

#include <cstdint>

namespace vx {

class ImageVx {
public:
    // A record of width x height pixels. Without `block` it allocates its own
    // pixel block (contents undefined); with one it uses that block and does
    // not free it. Returns null when memory cannot be had.
    static ImageVx* create(int width, int height, std::uint16_t* block = nullptr);
    ~ImageVx();
    ImageVx(const ImageVx&) = delete;
    ImageVx& operator=(const ImageVx&) = delete;

    std::uint16_t* pixels = nullptr;
    std::int32_t owns_pixels = 0;
    std::uint16_t** rows = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double pixel_aspect = 1.0;
    float ref_scale = 0.0f;

    // Every pixel becomes (c0, c1, c2, c3).
    void fill(std::uint16_t c0, std::uint16_t c1, std::uint16_t c2, std::uint16_t c3);
    // Channel 3 (alpha) of every pixel becomes `value`.
    void fill_alpha(std::uint16_t value);
    // Channel 3 (alpha), or channels 0..2 (colour), of every pixel from the
    // same pixel of `src`, rows in parallel. `src` must be at least as large.
    void copy_alpha_from(const ImageVx* src);
    void copy_colour_from(const ImageVx* src);

private:
    ImageVx() = default;
};

}  // namespace vx
