// What the panel says of the Cell Angle: some grids look the same again
// before a full turn, so that a drag across that turn changes nothing seen.
#pragma once

#include <string>
#include <string_view>

#include "contract/host_api.h"

namespace trellin_view {

// The turn, in degrees, after which the grid of `shape` (a CellShape item:
// "Square", "Octagon", ...) looks the same about the default Angle Centre:
// 90 for the squares and octagons, which sit on a square grid; 360 for the
// others, whose grids change at every angle.
int cell_angle_period(std::string_view shape);

// The line the Cell Angle's tooltip adds for the node's current shape;
// empty when the grid repeats only after a full turn.
std::string cell_angle_note(const FXNode& node);

}  // namespace trellin_view
