// STUB: replaced by the parameter block.
#include "effect/trellin.h"

namespace vx {

void TrellinParams::pull_all() {}
void Trellin::on_first_frame() { update_light_controls(); }
void Trellin::update_light_controls() {}

}  // namespace vx
