// Handing one picture to a node as a frame and taking its result back.
#pragma once

#include "apps/common/host_picture.h"
#include "node/host_api.h"

namespace trellin_app {

// Renders `input` through the node as the frame at `time` of a one-frame
// clip: the node's output size, input length and aspect are set from the
// picture, the output starts as a copy of the input and the node fills it.
// Returns the node's result: 1 when it rendered the frame into `output`, 0
// when it refused the frame (it has then shown its reason through msgwarn).
int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time = 0.0);

}  // namespace trellin_app
