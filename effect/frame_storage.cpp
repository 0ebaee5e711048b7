#include "effect/frame_storage.h"

#include "effect/cell_layout.h"
#include "pixels/frame_memory.h"

namespace vx {

FrameStorage::~FrameStorage()
{
    release();
}

void FrameStorage::set_size(int width, int height)
{
    if (width == width_ && height == height_) return;
    release();
    width_ = width;
    height_ = height;
}

template <class T>
bool FrameStorage::need(T*& block, std::size_t count)
{
    if (block) return true;
    block = static_cast<T*>(frame_alloc(count * sizeof(T)));
    if (block) return true;
    release();
    return false;
}

bool FrameStorage::need_cell_map()
{
    if (!cell_map) cell_map = ImageVx::create(width_, height_);
    if (cell_map) return true;
    release();
    return false;
}

bool FrameStorage::need_float_buffers()
{
    const std::size_t pixels = std::size_t(width_) * std::size_t(height_);
    return need(height_buf, pixels) && need(sample_x_buf, pixels) && need(sample_y_buf, pixels) &&
           need(highlight_buf, pixels);
}

bool FrameStorage::need_heights()
{
    return need(height_buf, std::size_t(width_) * std::size_t(height_));
}

bool FrameStorage::need_pyramid(bool level0_room)
{
    if (pyramid && level0_room && !pyramid->level0_room) {
        free_pyramid(pyramid);
        pyramid = nullptr;
    }
    if (!pyramid) pyramid = allocate_pyramid(width_, height_, level0_room);
    if (pyramid) return true;
    release();
    return false;
}

bool FrameStorage::need_dome_map()
{
    return need(dome_map, std::size_t(width_) * std::size_t(height_));
}

bool FrameStorage::need_cells(std::size_t count)
{
    if (count > cell_capacity_) {
        frame_free(cells);
        cells = nullptr;
        cell_capacity_ = 0;
    }
    if (!need(cells, count == 0 ? 1 : count)) return false;
    if (count > cell_capacity_) cell_capacity_ = count;
    return true;
}

bool FrameStorage::need_band_rows(int bands, std::size_t floats_per_band)
{
    const std::size_t floats = std::size_t(bands) * floats_per_band;
    if (floats > band_rows_floats_) {
        frame_free(band_rows);
        band_rows = nullptr;
        band_rows_floats_ = 0;
    }
    if (!need(band_rows, floats)) return false;
    if (floats > band_rows_floats_) band_rows_floats_ = floats;
    return true;
}

void FrameStorage::release()
{
    delete cell_map;
    cell_map = nullptr;
    for (float** buffer : {&height_buf, &sample_x_buf, &sample_y_buf, &highlight_buf, &band_rows}) {
        frame_free(*buffer);
        *buffer = nullptr;
    }
    free_pyramid(pyramid);
    pyramid = nullptr;
    frame_free(dome_map);
    dome_map = nullptr;
    frame_free(cells);
    cells = nullptr;
    cell_capacity_ = 0;
    band_rows_floats_ = 0;
    width_ = 0;
    height_ = 0;
}

}  // namespace vx
