// --hdr split: values outside 0..1 carried through the effect as separate
// pictures, so that the picture within 0..1 renders exactly as it does
// without them.
//
// The effect's geometry (cells, heights, refraction, footprints) does not
// depend on the picture, and what it does to the picture is linear: weighted
// averages of samples, dimmed by "Back Bright", plus the light's highlight.
// So a picture x splits into
//   clip(x, 0, 1)  +  above_scale * above  -  below_scale * below
// with above = max(x - 1, 0) / above_scale and below = max(-x, 0) / below_scale,
// each scale the frame's largest excess, so both parts fill the node's range.
// The clipped picture renders as it always does; the parts render through the
// same settings with a black light colour (the highlight is added once, with
// the clipped picture, while "Back Bright" dims the parts as it dims the
// rest), and the results are scaled back and added. A frame with nothing
// outside 0..1 has no parts and costs one render.
//
// Precision: a part travels as the node's 15-bit samples, in steps of
// scale / 32767. What comes back lies within `part_steps` such steps of the
// exact (unquantised) result: a frame whose sun reaches 41 carries its
// highlights within 2 * 40 / 32767 = 0.0024; one stray sample at 1e6 makes
// the step 30.5, and highlights much below that are lost in it.
#pragma once

#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/host_picture.h"
#include "contract/host_api.h"

namespace trellin_app {

// The bound above, in steps of scale / 32767.
inline constexpr double part_steps = 2.0;
inline constexpr double part_step = 1.0 / 32767.0;

// The parts of a picture outside 0..1, each a 16-bit picture of the
// picture's shape whose alpha is the picture's (clipped to 0..1). A part
// whose scale is 0 is absent (its picture empty).
struct SplitParts {
    HostPicture above;
    HostPicture below;
    float above_scale = 0.0f;
    float below_scale = 0.0f;

    bool empty() const { return above.data.empty() && below.data.empty(); }
};

// Takes the parts out of `f`, the interleaved float samples of a picture of
// `shape`'s size and sample count (alpha, the fourth, is left alone). The
// colour samples left in `f` are to be clipped to 0..1 as --hdr none clips
// them. Samples that are not finite are counted in `clip` and replaced
// in `f`: NaN and -inf by 0, +inf by 1; they carry no part.
SplitParts split_samples(std::vector<float>& f, const HostPicture& shape, ClipCount& clip);

// Adds the parts to the colour samples of `f` (interleaved floats of the
// parts' size and sample count): f += above_scale * above - below_scale * below.
void add_parts(std::vector<float>& f, const SplitParts& parts);

// Renders `input` as render_frame (frame_render.h) renders it at
// `width` x `height`, then each of `parts` with the light colour black; the
// rendered parts go into `rendered` with their scales. When the node shows
// its height map, the map is all there is and no part is rendered. Returns
// the node's result: 0 when it refused a frame.
int render_split(FXNode& node, const HostPicture& input, const SplitParts& parts, HostPicture& result,
                 SplitParts& rendered, double time, int width, int height);

}  // namespace trellin_app
