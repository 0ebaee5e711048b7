// STUB: replaced by the cell map.
#include "effect/trellin.h"

namespace vx {

void Trellin::render_pixel(int x, int y, const CellPolygon& polygon) { cell_profile(x, y, polygon); }
void Trellin::cell_profile(int, int, const CellPolygon&) {}

}  // namespace vx
