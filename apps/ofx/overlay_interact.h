// The overlay interact: the node's handles drawn in the host's viewer, and
// the pen driving their drag.
//
// The host draws overlays in its canonical coordinates (pixels of the full
// resolution picture times the pixel aspect, y upwards from the bottom of the
// source's region of definition); the node draws in pixels of its picture
// about the centre, y downwards, and takes pen positions in pixels from the
// top-left corner. The interact maps one onto the other, so the handles sit
// where they do in trellin-view whatever the host's zoom or proxy scale.
#pragma once

#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

// The interact's entry point (set as the effect's overlay interact).
OfxStatus overlay_main(const char* action, const void* handle, OfxPropertySetHandle in_args,
                       OfxPropertySetHandle out_args);

}  // namespace trellin_ofx
