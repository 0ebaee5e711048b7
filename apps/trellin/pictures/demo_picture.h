// A test picture made on the spot, so that the effect can be shown without a
// picture file.
#pragma once

#include "apps/common/core/host_picture.h"

namespace trellin_app {

// A 16-bit RGBA picture, fully opaque: a hue sweep across that darkens
// downwards, a black-and-white checkerboard and a few coloured discs with
// smooth edges. The same size always gives the same samples.
HostPicture make_demo_picture(int width = 960, int height = 540);

}  // namespace trellin_app
