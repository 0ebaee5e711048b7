// The fast kernels: vector code for the render's per-pixel work, compiled for
// several instruction sets and chosen at run time. Each gives exactly the
// samples of the reference passes (effect/reference/passes.h); where an approximation
// of a library function cannot decide a quantised result, the lane is
// computed by the same scalar formula the reference uses.
#pragma once

#include <cstdint>

#include "effect/frame_state.h"
#include "effect/source_pyramid.h"

namespace vx {

// Pixels of one cell, listed for its dome levels: columns and rows, with
// room after the last for a whole vector.
struct DomePixels {
    static constexpr int capacity = 512;
    static constexpr int padding = 64;
    std::int32_t x[capacity + padding] = {};
    std::int32_t y[capacity + padding] = {};
    int count = 0;
};

// Dome levels of the listed pixels (all on the map) for a cell centred at
// (centre_x, centre_y), written into the one-level-per-pixel map.
void fast_dome_pixels(const FrameState& f, std::uint16_t* map, const DomePixels& pixels, float centre_x,
                      float centre_y);

// One row of the height buffer from two rows of a one-sample dome map (the
// row and the one below it, the same row for the last).
void fast_height_row(const FrameState& f, const std::uint16_t* map_row, const std::uint16_t* map_below,
                     float* height_row);

// The glass surface of one picture row, shared by every channel pass: the
// sideways shift of the landing point per unit of glass thickness along x
// and y, and, lit, the highlight.
struct SurfaceRow {
    float* shift_x;
    float* shift_y;
    float* highlight;  // written only when the frame is lit
};
void fast_surface_row(const FrameState& f, int y, const SurfaceRow& out);

// Sample positions of the frame's pass for row y from its surface row.
void fast_position_row(const FrameState& f, int y, const SurfaceRow& surface, float* sample_x, float* sample_y);

// The output row y's channels of the frame's pass, columns 1..W-2, from the
// sample positions of rows y and y + 1 and the highlight of row y. The five
// rows must be readable for fast_row_padding floats past their last column.
struct CompositeRow {
    const float* sample_x;
    const float* sample_x_below;
    const float* sample_y;
    const float* sample_y_below;
    const float* highlight;
    std::uint16_t* out;
};
// The pyramid's levels must lie within 2^31 words of the lowest one
// (keep_within_reach).
void fast_composite_row(const FrameState& f, const CompositeRow& row);
inline constexpr int fast_row_padding = 64;

// Copies level 0 into the pyramid's room beside the reduced levels when it
// lies too far from them for the compositing kernel's 32-bit addressing (the
// pyramid was allocated with room for level 0).
void keep_within_reach(SourcePyramid* p);

// level_blend for `count` areas above 1, each into levels[i] and weights[i];
// for checking the fast path against level_blend.
void fast_level_blend(const float* areas, int count, int level_count, int* levels, int* weights);

}  // namespace vx
