// Where the cells of a frame lie: the grid of the chosen shape, each cell
// placed at its grid index, turned about the pivot, shifted and clipped to
// the picture, ready to be scan-converted.
#pragma once

#include <cstdint>

#include "effect/cell_shapes.h"
#include "effect/frame_state.h"
#include "framework/poly_render.h"

namespace vx {

class CellLayout {
public:
    explicit CellLayout(const FrameState& frame);

    // False when the shape is unknown: the frame has no cells.
    bool valid() const { return valid_; }
    const CellGrid& grid() const { return grid_; }

    // The cell at row index j and column index i, into `cell`. Its centre is
    // written to centre_x and centre_y, which the cell points at.
    void place(float j, float i, CellPolygon& cell, float& centre_x, float& centre_y) const;

private:
    CellGrid grid_;
    bool valid_ = false;
    CellPolygon templates_[2];
    float angle_ = 0.0f, kx_ = 0.0f, ky_ = 0.0f, ox_ = 0.0f, oy_ = 0.0f;
    float clip_w_ = 0.0f, clip_h_ = 0.0f;
    bool turned_ = false, shifted_ = false;
};

// A cell placed once for the whole frame, and the rows it may touch (its
// polygon's centre pointers are set when it is drawn).
struct PlacedCell {
    CellPolygon polygon;
    float centre_x = 0.0f;
    float centre_y = 0.0f;
    std::int32_t first_row = 0;
    std::int32_t last_row = -1;
};

}  // namespace vx
