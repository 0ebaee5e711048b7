// A picture that reads like a photograph, made on the spot: an evening sky
// with the sun low over hills, a town of buildings with lit windows and a
// road running towards the horizon. The demo and the control reference show
// the glass over it; tests use the plainer test pattern (demo_picture.h).
#pragma once

#include "apps/common/core/host_picture.h"

namespace trellin_app {

// A 16-bit RGBA picture, fully opaque. The same size always gives the same
// samples; the scene scales with the size (laid out in fractions of it).
HostPicture make_scene_picture(int width = 960, int height = 540);

}  // namespace trellin_app
