// The node's host controls and on-screen handles as data: one row per host
// control in creation order (its creation arguments, panel place and the
// typed control it feeds), and one row per handle (the host controls it
// writes, the typed control it refreshes, its colour).
#pragma once

#include <cstdint>

#include "contract/host_api.h"

namespace vx {

// How a host control feeds its typed control.
enum class ControlBinding {
    none,        // a label
    value,       // the typed control's only host control
    position_x,  // the x control of a position
    position_y,  // the y control of a position
};

struct ControlRow {
    const char* label;
    ControlKind kind;
    // Numeric: value[0]; boolean: value[0] != 0; option: item index value[0];
    // colour: r, g, b, a.
    double value[4];
    double minimum;
    double maximum;
    double step;
    // The final flag of the numeric, boolean and colour factories.
    bool flag;
    // Option items, comma-separated.
    const char* items;
    std::int32_t panel_column;
    std::int32_t panel_row;
    // Typed control number (1..23) in the effect's parameter block; 0 for a
    // label.
    int typed;
    ControlBinding binding;
};

inline constexpr int control_table_size = 28;
extern const ControlRow control_table[control_table_size];

enum class HandleId { light, centre, tweak, angle };

struct HandleRow {
    HandleId handle;
    // Rows of the control table: a crosshair's x and y controls, or the angle
    // control and -1.
    int x_row;
    int y_row;
    // Typed control the handle refreshes.
    int typed;
    int colour[4];
    std::int32_t diagonal_arms;
};

inline constexpr int handle_table_size = 4;
extern const HandleRow handle_table[handle_table_size];

// The row of the control table with exactly this label; -1 when none.
int control_row(const char* label);

}  // namespace vx
