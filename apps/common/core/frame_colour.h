// The colour handling of a frame around the node that needs no colour
// configuration: alpha clipped into 0..1 and freed of colour multiplied by it,
// the range of the node's samples (0..1, the log curve of --hdr log, the parts
// of --hdr split) and the conversion between floats and the node's 16-bit
// samples, and on the way out the same steps backwards. Every host that takes
// float samples runs them through here; where colour spaces are converted
// (OpenColorIO, in the picture library), the caller hands in that step and it
// runs in its place between the others.
//
// The way in, for float samples f of a picture with alpha (RGBA) or without:
//   alpha clipped into 0..1 (alpha_clip.h), colour divided by alpha when it
//   was multiplied by it, the space conversion, then the range: colour on the
//   log curve, or split at 0 and 1 (hdr_split.h), and what the node's range
//   clips counted; the alpha as it now is kept for the way out, and the
//   samples rounded to 16 bits.
// The way out, for the node's 16-bit result:
//   floats, the log curve undone, the split parts added back, the input's
//   alpha given back where alpha was not refracted, the space conversion,
//   colour multiplied by alpha for outputs that store it so, and then either
//   the samples outside 0..1 counted (integer outputs, which clip them) or the
//   samples that are not finite replaced (float outputs, which keep the rest).
//
// Each step is the same arithmetic on every host and at any processor count
// (the work is shared out with pixel_bands.h, counts merged in band order).
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/render_options.h"

namespace trellin_app {

// Converts `pixels` interleaved float pixels of `samples` samples in place
// from one colour space into another. An empty step converts nothing.
using SpaceStep = std::function<void(float* f, std::size_t pixels, int samples)>;

// The picture's 16-bit samples as floats in 0..1 (as to_unit_float makes
// them), in `storage`'s memory when it has room.
std::vector<float> unit_floats(const HostPicture& picture, std::vector<float> storage = {});

// Floats laid out as the picture's samples into its 16-bit samples, as
// from_unit_float makes them (clamped into 0..1, NaN as 0).
void store_unit_floats(const std::vector<float>& f, HostPicture& picture);

// Colour divided by alpha in `pixels` RGBA pixels, where alpha is above 0
// (colour with alpha 0 is left as it is).
void unpremultiply(float* f, std::size_t pixels);

// Colour multiplied by alpha in `pixels` RGBA pixels.
void premultiply(float* f, std::size_t pixels);

// How float samples come into the node.
struct FloatsIn {
    bool float_samples = true;      // read as floats (integer samples lie within 0..1)
    bool associated_alpha = false;  // colour multiplied by alpha (pictures with alpha only)
    HdrMode hdr = HdrMode::none;    // the mode the frame renders in: none, log or split
};

// Float samples `f`, laid out as `picture`'s 16-bit samples (empty: taken from
// those samples), taken in as the way in above says into `frame`: its picture
// (`picture` with the samples the node renders), parts, the samples clipped
// (counted in frame.clipped, whose colour total becomes this frame's) and, for
// pictures with alpha, the alpha the way out gives back. `f`'s memory goes to frame.spare. Fields of
// `frame` the colour spaces fill (spaces, notes) are left alone. Integer
// samples that no step changes (no associated alpha, no conversion, no log
// curve) go in as they are.
void floats_into_node(std::vector<float> f, HostPicture picture, const FloatsIn& how, const SpaceStep& convert,
                      NodeFrame& frame);

// How the node's result leaves as floats.
struct FloatsOut {
    OutputForm form;           // the output's samples: floats or integers, alpha associated or not
    bool input_alpha = false;  // alpha is not refracted: the output's alpha is the input's, kept by the way in
};

// The node's `result` of `frame` (rendered in frame.hdr) taken out as the way
// out above says, into `out`: out.samples (in `storage`'s memory, which is
// taken only then) the floats, `result`'s 16-bit samples the same clamped
// into 0..1, and out.clipped what the output clips or replaces. `parts`: the
// frame's parts as the node rendered them, or null. False, with nothing done, when no
// step changes the result: its 16-bit samples are then the output's as they
// are.
bool floats_out_of_node(HostPicture& result, const NodeFrame& frame, const SplitParts* parts, const FloatsOut& how,
                        const SpaceStep& convert, std::vector<float>&& storage, OutputFrame& out);

}  // namespace trellin_app
