// The render's working storage (cell map, float buffers, source pyramid),
// kept from one frame to the next while the picture size stays the same, so
// that a steady run of frames allocates nothing and touches no new page.
#pragma once

#include "effect/source_pyramid.h"
#include "node/image_vx.h"

namespace vx {

class FrameStorage {
public:
    FrameStorage() = default;
    ~FrameStorage();
    FrameStorage(const FrameStorage&) = delete;
    FrameStorage& operator=(const FrameStorage&) = delete;

    // The cell map for a width x height picture: the one held when the size
    // is the same, otherwise everything held is released and a new map
    // allocated. False (and nothing held) when it cannot be had.
    bool prepare_cell_map(int width, int height);
    // The four float buffers and the pyramid, for the size of the cell map
    // (prepare_cell_map first). False (and nothing held) when any of them
    // cannot be had.
    bool prepare_glass();
    // Releases everything held.
    void release();

    ImageVx* cell_map = nullptr;
    float* height_buf = nullptr;
    float* sample_x_buf = nullptr;
    float* sample_y_buf = nullptr;
    float* highlight_buf = nullptr;
    SourcePyramid* pyramid = nullptr;

private:
    int width_ = 0;
    int height_ = 0;
};

}  // namespace vx
