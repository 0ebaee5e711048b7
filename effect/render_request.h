// One frame for the effect to render: the pictures, how alpha is treated,
// what is shown and which kernels run. The node fills one for each frame; the
// effect keeps nothing of it after the render.
#pragma once

#include "contract/host_api.h"
#include "effect/kernel_choice.h"
#include "pixels/image_vx.h"

namespace vx {

struct RenderRequest {
    // The input record, of the output's size.
    ImageVx* input = nullptr;
    // The host picture the input record is still to be read from (of the same
    // size), or null when the record holds it already. The render reads it,
    // together with other work where it can.
    const _image_str* unread_input = nullptr;
    // The output record.
    ImageVx* output = nullptr;
    // The host's output picture: the fast kernels may write the result into it
    // directly (top row first) instead of into the output record. May be null.
    _image_str* host_output = nullptr;
    // Alpha goes through the glass like the colour channels; otherwise the
    // output keeps the input's alpha.
    bool refract_alpha = false;
    // The cell map (domes in grey) is shown instead of the picture.
    bool show_map = false;
    Kernels kernels = Kernels::fast;
};

}  // namespace vx
