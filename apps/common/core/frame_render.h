// Handing one picture to a node as a frame and taking its result back.
#pragma once

#include "apps/common/core/host_picture.h"
#include "contract/host_api.h"

namespace trellin_app {

// Renders `input` through the node as the frame at `time` of a one-frame
// clip: the node's output size, input length and aspect are set from the
// picture, and the node fills the output (its buffer is reused when it has
// the size). Returns the node's result: 1 when it rendered the frame into
// `output`, 0 when it refused the frame (it has then shown its reason
// through msgwarn) or a cancel stopped it, and `output` is then a copy of
// the input.
int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time = 0.0);

// As above with an output of `out_width` x `out_height` pixels: the node fits
// the input to that size (its resampler stretches the whole picture). The
// output starts black and keeps the picture's shape on screen: its pixel
// aspect is the input's times (input width / output width) / (input height /
// output height), and that is the aspect the node is told. The output takes
// the input's sample count and attributes.
int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time, int out_width,
                 int out_height);

// Renders host images the caller holds (another program's frame buffers,
// packed rows, top first) as the frame at `time` of a one-frame clip with
// pixels of `pixel_aspect`: the node's output size is `output`'s, and it
// fills `output` (every sample, when it returns 1), which must not be
// `input`. The node only reads `input`.
int render_frame(FXNode& node, const _image_str& input, _image_str& output, double time, double pixel_aspect);

}  // namespace trellin_app
