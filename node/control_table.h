// The node's host controls and on-screen handles as data. One row per host
// control, in creation order, carries everything about it: its creation
// arguments, its panel place and the typed control of the effect it feeds. One row per handle names the controls it
// writes. Every other list of the controls (the typed controls the node pulls, the counts) is derived from these rows,
// and the rows are checked for consistency when they are compiled.
//
// A new control is a new row here, a member of TrellinParams and its use in
// derive_frame_state.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

#include "contract/host_api.h"
#include "effect/trellin_info.h"

namespace vx {

// How a host control feeds its typed control.
enum class ControlBinding {
    none,        // a label
    value,       // the typed control's only host control
    position_x,  // the x control of a position
    position_y,  // the y control of a position
};

// Reaches one typed control in the effect's parameters.
using TypedControl = ControlVx& (*)(TrellinParams&);

template <auto member>
ControlVx& at(TrellinParams& param)
{
    return param.*member;
}

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
    // The typed control it feeds; null for a label.
    TypedControl typed;
    ControlBinding binding;
};

namespace control_columns {

using P = TrellinParams;
inline constexpr ControlKind numeric = ControlKind::numeric;
inline constexpr ControlKind boolean = ControlKind::boolean;
inline constexpr ControlKind option = ControlKind::option;
inline constexpr ControlKind color = ControlKind::color;
inline constexpr ControlKind label = ControlKind::label;
inline constexpr ControlBinding none = ControlBinding::none;
inline constexpr ControlBinding value = ControlBinding::value;
inline constexpr ControlBinding pos_x = ControlBinding::position_x;
inline constexpr ControlBinding pos_y = ControlBinding::position_y;

// clang-format off
inline constexpr ControlRow control_table[] = {
    // label           kind     default               min     max     step   flag   items                   col row typed control          binding
    {"Black Height",   numeric, {10.0},               0.0,    100.0,  0.01,  true,  nullptr,                7,  0, at<&P::black_height>,   value},
    {"White Height",   numeric, {20.0},               0.0,    100.0,  0.01,  true,  nullptr,                8,  0, at<&P::white_height>,   value},
    {"Index",          numeric, {1.4},                1.0,    10.0,   0.01,  true,  nullptr,                9,  0, at<&P::index>,          value},
    {"Invert map",     boolean, {0.0},                0.0,    0.0,    0.0,   false, nullptr,                1,  2, at<&P::invert_map>,     value},
    {"Edge: %s",       option,  {0.0},                0.0,    0.0,    0.0,   false, "Duplicate,Black,Wrap", 10, 0, at<&P::edge>,           value},
    {"Smoothing",      numeric, {0.0},                0.0,    10.0,   1.0,   true,  nullptr,                11, 0, at<&P::smoothing>,      value},
    {"ChromaticAb",    numeric, {0.0},                0.0,    200.0,  0.01,  true,  nullptr,                12, 0, at<&P::chromatic_ab>,   value},
    {"Light Active",   boolean, {0.0},                0.0,    0.0,    0.0,   false, nullptr,                7,  1, at<&P::light_active>,   value},
    {"Brightness",     numeric, {100.0},              0.0,    200.0,  0.01,  true,  nullptr,                8,  1, at<&P::brightness>,     value},
    {"Light_X",        numeric, {0.2},                -5.0,   5.0,    0.001, true,  nullptr,                9,  1, at<&P::light_position>, pos_x},
    {"Light_Y",        numeric, {0.8},                -5.0,   5.0,    0.001, true,  nullptr,                10, 1, at<&P::light_position>, pos_y},
    {"LightZ",         numeric, {0.5},                0.05,   5.0,    0.01,  true,  nullptr,                11, 1, at<&P::light_z>,        value},
    {"Gloss",          numeric, {45.0},               1.0,    1000.0, 0.01,  true,  nullptr,                12, 1, at<&P::gloss>,          value},
    {"Back Bright",    numeric, {100.0},              0.0,    100.0,  0.01,  true,  nullptr,                13, 1, at<&P::back_bright>,    value},
    {"Light",          color,   {1.0, 1.0, 1.0, 1.0}, 0.0,    0.0,    0.0,   true,  nullptr,                7,  2, at<&P::light_colour>,   value},
    {"CellCurve",      numeric, {1.0},                0.0,    10.0,   0.005, true,  nullptr,                4,  0, at<&P::cell_curve>,     value},
    {"CellSize",       numeric, {0.1},                0.01,   1.0,    0.005, true,  nullptr,                3,  0, at<&P::cell_size>,      value},
    {"Cell Angle",     numeric, {0.0},                -360.0, 360.0,  0.5,   true,  nullptr,                0,  1, at<&P::cell_angle>,     value},
    {"Angle Centre_X", numeric, {0.5},                0.0,    1.0,    0.001, true,  nullptr,                1,  1, at<&P::angle_centre>,   pos_x},
    {"Angle Centre_Y", numeric, {0.5},                0.0,    1.0,    0.001, true,  nullptr,                2,  1, at<&P::angle_centre>,   pos_y},
    {"Tweak_X",        numeric, {0.5},                0.0,    1.0,    0.001, true,  nullptr,                5,  0, at<&P::tweak>,          pos_x},
    {"Tweak_Y",        numeric, {0.5},                0.0,    1.0,    0.001, true,  nullptr,                6,  0, at<&P::tweak>,          pos_y},
    {"ShowMap",        boolean, {0.0},                0.0,    0.0,    0.0,   false, nullptr,                0,  2, at<&P::show_map>,       value},
    {"CellShape: %s",  option,  {0.0},                0.0,    0.0,    0.0,   false, "Triangle,Square,Pentagon,Hexagon,Octagon,Dodecagon", 0,  0, at<&P::cell_shape>,     value},
    {"Cell Count X",   numeric, {10.0},               1.0,    100.0,  1.0,   true,  nullptr,                1,  0, at<&P::cell_count_x>,   value},
    {"Cell Count Y",   numeric, {10.0},               1.0,    100.0,  1.0,   true,  nullptr,                2,  0, at<&P::cell_count_y>,   value},
    {"Trellin",        label,   {0.0},                0.0,    0.0,    0.0,   false, nullptr,                0,  4, nullptr,                none},
    {"Surface",        label,   {0.0},                0.0,    0.0,    0.0,   false, nullptr,                7,  4, nullptr,                none},
};
// clang-format on

}  // namespace control_columns

using control_columns::control_table;
inline constexpr int control_table_size = static_cast<int>(std::size(control_table));

// The value controls (every row but the labels); they come first.
inline constexpr int value_control_count = [] {
    int n = 0;
    for (const ControlRow& row : control_table) n += row.kind != ControlKind::label;
    return n;
}();

// The row of the control table with exactly this label; -1 when none.
constexpr int control_row(std::string_view label)
{
    for (int i = 0; i < control_table_size; ++i)
        if (label == control_table[i].label) return i;
    return -1;
}

enum class HandleId { light, centre, tweak, angle };

struct HandleRow {
    HandleId handle;
    // A crosshair's x and y controls, or the angle control and null. The
    // handle refreshes the typed control of the first.
    const char* x_label;
    const char* y_label;
    int colour[4];
    std::int32_t diagonal_arms;
};

// clang-format off
inline constexpr HandleRow handle_table[] = {
    // handle          x control         y control         colour (r, g, b, a)        diagonal arms
    {HandleId::light,  "Light_X",        "Light_Y",        {65535, 65535, 0, 65535},  1},
    {HandleId::centre, "Angle Centre_X", "Angle Centre_Y", {0, 65535, 0, 65535},      0},
    {HandleId::tweak,  "Tweak_X",        "Tweak_Y",        {65535, 0, 0, 65535},      0},
    {HandleId::angle,  "Cell Angle",     nullptr,          {0, 65535, 0, 65535},      0},
};
// clang-format on
inline constexpr int handle_table_size = static_cast<int>(std::size(handle_table));

// Refreshes every typed control from its host controls, in table order.
void pull_typed_controls(TrellinParams& param);

}  // namespace vx
