// The per-pixel passes of a frame, written plainly, one pixel at a time: the
// reference the faster kernels are checked against. Each is a row worker over
// a frame's snapshot; it reads the snapshot and writes only rows first_row to
// last_row (both included) of its output.
#pragma once

#include "effect/frame_state.h"
#include "framework/poly_render.h"

namespace vx {

// The cell map: every cell of the grid placed, turned, shifted, clipped and
// scan-converted; a covered pixel gets the cell's dome height there.
void cell_map_rows(const FrameState& f, int first_row, int last_row);
// The dome height of pixel (x, y) of `polygon`'s cell, written into the map.
void cell_profile(const FrameState& f, int x, int y, const CellPolygon& polygon);

// The height buffer from the cell map.
void build_height_rows(const FrameState& f, int first_row, int last_row);
// Copies height row H - 2 into row H - 1; run after the height pass.
void finish_height_last_row(const FrameState& f);

// Sample positions (and, lit, highlights) of the current pass.
void refract_rows(const FrameState& f, int first_row, int last_row);

// The output's channels of the current pass, sampled over each footprint.
void composite_rows(const FrameState& f, int first_row, int last_row);
// Copies output row H - 2 into row H - 1; run after every compositing pass.
void finish_composite_last_row(const FrameState& f);

}  // namespace vx
