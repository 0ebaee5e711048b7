// The frame rendered with the fast kernels: the cells placed once and drawn
// band by band, the height buffer, then row by row the glass surface, the
// sample positions of each channel pass and the composite, while the rows
// are in the cache. Every sample equals the reference passes' result.
#pragma once

#include "effect/frame_state.h"
#include "effect/frame_storage.h"
#include "contract/host_api.h"

namespace vx {

struct FastFrame {
    const FrameState& frame;  // values, input and output records
    ImageVx* input;           // the input record (frame.input), to be filled
    FrameStorage& storage;
    bool show_map;
    bool refract_alpha;
    // The host picture the input record is still to be read from (of the
    // same size), or null when the record holds it already.
    const _image_str* host_input;
    // The host picture the result may be written into directly, or null.
    _image_str* host_output;
    // Set when the result went into host_output rather than the output record.
    bool host_written = false;
};

// Renders the frame into its output record or the host's output. False,
// with nothing touched, for a picture the fast path does not take (the
// reference passes render it then).
bool render_fast(FastFrame& frame);

// The fast render's steps over a whole frame, for measuring them one at a time.
// The cell map as dome levels in storage.dome_map (and, showing the map, the
// output record from it); false when there is no storage for it.
bool fast_cell_map(const FrameState& f, FrameStorage& storage, bool show_map = false, bool refract_alpha = false);
// The height buffer (f.height_buf) from the dome map.
void fast_heights(const FrameState& f, const std::uint16_t* map);
// The pyramid from the input record, or read into it from the host picture.
void fast_pyramid(const _image_str* host_input, ImageVx* input, SourcePyramid* pyramid);

}  // namespace vx
