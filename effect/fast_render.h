// The frame rendered with the fast kernels: the cells placed once and drawn
// band by band, the height buffer, then row by row the glass surface, the
// sample positions of each channel pass and the composite, while the rows
// are in the cache. Every sample equals the reference passes' result.
#pragma once

#include "effect/frame_state.h"
#include "effect/frame_storage.h"

namespace vx {

// Renders the frame (its input, output and values in `frame`) into its
// output. False, with nothing touched, for a picture the fast path does not
// take (the reference passes render it then).
bool render_fast(const FrameState& frame, FrameStorage& storage, bool show_map, bool refract_alpha);

}  // namespace vx
