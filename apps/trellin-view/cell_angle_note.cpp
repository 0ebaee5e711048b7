#include "apps/trellin-view/cell_angle_note.h"

#include "apps/common/core/control_text.h"

namespace trellin_view {

int cell_angle_period(std::string_view shape)
{
    // The cells of both lie on a square lattice, and the Angle Centre starts
    // on one of its points: a quarter turn lays the grid on itself.
    if (shape == "Square" || shape == "Octagon") return 90;
    return 360;
}

std::string cell_angle_note(const FXNode& node)
{
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c == nullptr || trellin_app::setting_label(*c) != "CellShape") continue;
        const std::string shape = trellin_app::value_text(*c);
        const int period = cell_angle_period(shape);
        if (period >= 360) return {};
        const std::string p = std::to_string(period);
        return shape + " cells sit on a square grid that looks the same every " + p + " degrees: angles " + p +
               " apart look alike (with the Angle Centre on a cell's centre or corner)";
    }
    return {};
}

}  // namespace trellin_view
