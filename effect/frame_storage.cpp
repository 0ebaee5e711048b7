#include "effect/frame_storage.h"

#include <cstddef>

#include "node/frame_memory.h"

namespace vx {

namespace {

float* alloc_float_buffer(int width, int height)
{
    return static_cast<float*>(frame_alloc(std::size_t(width) * std::size_t(height) * sizeof(float)));
}

}  // namespace

FrameStorage::~FrameStorage()
{
    release();
}

bool FrameStorage::prepare_cell_map(int width, int height)
{
    if (cell_map && width_ == width && height_ == height)
        return true;
    release();
    cell_map = ImageVx::create(width, height);
    if (!cell_map)
        return false;
    width_ = width;
    height_ = height;
    return true;
}

bool FrameStorage::prepare_glass()
{
    if (!cell_map)
        return false;
    if (!height_buf)
        height_buf = alloc_float_buffer(width_, height_);
    if (!sample_x_buf)
        sample_x_buf = alloc_float_buffer(width_, height_);
    if (!sample_y_buf)
        sample_y_buf = alloc_float_buffer(width_, height_);
    if (!highlight_buf)
        highlight_buf = alloc_float_buffer(width_, height_);
    if (!pyramid)
        pyramid = allocate_pyramid(width_, height_);
    if (height_buf && sample_x_buf && sample_y_buf && highlight_buf && pyramid)
        return true;
    release();
    return false;
}

void FrameStorage::release()
{
    delete cell_map;
    cell_map = nullptr;
    for (float** buffer : {&height_buf, &sample_x_buf, &sample_y_buf, &highlight_buf}) {
        frame_free(*buffer);
        *buffer = nullptr;
    }
    free_pyramid(pyramid);
    pyramid = nullptr;
    width_ = 0;
    height_ = 0;
}

}  // namespace vx
