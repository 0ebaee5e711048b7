// STUB: replaced by the effect's handle drawing and routing.
#include "effect/trellin.h"

namespace vx {

void Trellin::draw() {}
void Trellin::mouse(int, float, float) {}

}  // namespace vx
