// The render's working storage, kept from one frame to the next while the
// picture size stays the same, so that a steady run of frames allocates
// nothing and touches no new page. Each piece is allocated when a frame first
// needs it; when any allocation fails, everything is released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect/source_pyramid.h"
#include "pixels/image_vx.h"

namespace vx {

struct PlacedCell;

class FrameStorage {
public:
    FrameStorage() = default;
    ~FrameStorage();
    FrameStorage(const FrameStorage&) = delete;
    FrameStorage& operator=(const FrameStorage&) = delete;

    // Storage for a width x height picture: what is held is kept when the
    // size is the one held, otherwise released.
    void set_size(int width, int height);
    // Releases everything held.
    void release();

    // Each makes sure its piece is held, for the size set; false (and
    // nothing held) when it cannot be had.
    bool need_cell_map();       // four samples per pixel
    bool need_float_buffers();  // heights, sample positions, highlights
    bool need_heights();        // the height buffer alone
    // The pyramid; with room for a copy of level 0 beside the others.
    bool need_pyramid(bool level0_room = false);
    bool need_dome_map();  // one level per pixel
    bool need_cells(std::size_t count);
    bool need_band_rows(int bands, std::size_t floats_per_band);

    ImageVx* cell_map = nullptr;
    float* height_buf = nullptr;
    float* sample_x_buf = nullptr;
    float* sample_y_buf = nullptr;
    float* highlight_buf = nullptr;
    SourcePyramid* pyramid = nullptr;
    std::uint16_t* dome_map = nullptr;
    PlacedCell* cells = nullptr;
    float* band_rows = nullptr;  // working rows of each band, one after another

private:
    template <class T>
    bool need(T*& block, std::size_t count);

    int width_ = 0;
    int height_ = 0;
    std::size_t cell_capacity_ = 0;
    std::size_t band_rows_floats_ = 0;
};

}  // namespace vx
