// STUB: replaced by the handles.
#include "framework/overlay_vx.h"

namespace vx {

void CrosshairOverlayVx::mouse(int, float, float) {}
void CrosshairOverlayVx::apply(int, float, float) {}
void AngleOverlayVx::mouse(int, float, float) {}
void AngleOverlayVx::apply(int, float, float) {}

}  // namespace vx
