#include "pixels/image_vx.h"

#include <cstring>
#include <new>

#include "pixels/frame_memory.h"
#include "pixels/parallel_rows.h"

namespace vx {

ImageVx* ImageVx::create(int width, int height, std::uint16_t* block)
{
    if (width < 0 || height < 0) return nullptr;
    ImageVx* image = new (std::nothrow) ImageVx();
    if (!image) return nullptr;
    image->width = width;
    image->height = height;
    image->ref_scale = 720.0f / static_cast<float>(width);
    if (block) {
        image->pixels = block;
        image->owns_pixels = 0;
    } else {
        const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4 * sizeof(std::uint16_t);
        image->pixels = static_cast<std::uint16_t*>(frame_alloc(bytes));
        image->owns_pixels = 1;
    }
    image->rows = static_cast<std::uint16_t**>(frame_alloc(std::size_t(height) * sizeof(std::uint16_t*)));
    if (!image->pixels || !image->rows) {
        delete image;
        return nullptr;
    }
    for (int y = 0; y < height; ++y) image->rows[y] = image->pixels + std::size_t(y) * std::size_t(width) * 4;
    return image;
}

ImageVx::~ImageVx()
{
    if (owns_pixels) frame_free(pixels);
    frame_free(rows);
}

void ImageVx::fill(std::uint16_t c0, std::uint16_t c1, std::uint16_t c2, std::uint16_t c3)
{
    if (height < 1 || width < 1) return;
    std::uint16_t* row0 = rows[0];
    for (int x = 0; x < width; ++x) {
        row0[x * 4 + 0] = c0;
        row0[x * 4 + 1] = c1;
        row0[x * 4 + 2] = c2;
        row0[x * 4 + 3] = c3;
    }
    const std::size_t row_bytes = std::size_t(width) * 4 * sizeof(std::uint16_t);
    for (int y = 1; y < height; ++y) std::memcpy(rows[y], row0, row_bytes);
}

void ImageVx::fill_alpha(std::uint16_t value)
{
    const std::size_t count = std::size_t(width) * std::size_t(height);
    for (std::size_t i = 0; i < count; ++i) pixels[i * 4 + 3] = value;
}

void ImageVx::copy_alpha_from(const ImageVx* src)
{
    parallel_rows(height, [this, src](int first_row, int last_row) {
        for (int y = first_row; y <= last_row; ++y) {
            std::uint16_t* d = rows[y];
            const std::uint16_t* s = src->rows[y];
            for (int x = 0; x < width; ++x) d[x * 4 + 3] = s[x * 4 + 3];
        }
    });
}

void ImageVx::copy_colour_from(const ImageVx* src)
{
    parallel_rows(height, [this, src](int first_row, int last_row) {
        for (int y = first_row; y <= last_row; ++y) {
            std::uint16_t* d = rows[y];
            const std::uint16_t* s = src->rows[y];
            for (int x = 0; x < width; ++x) {
                d[x * 4 + 0] = s[x * 4 + 0];
                d[x * 4 + 1] = s[x * 4 + 1];
                d[x * 4 + 2] = s[x * 4 + 2];
            }
        }
    });
}

}  // namespace vx
