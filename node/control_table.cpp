#include "node/control_table.h"

#include <cstring>

#include "node/trellin_node.h"

namespace vx {

static_assert(control_table_size == TrellinNode::control_count);

namespace {

constexpr ControlKind numeric = ControlKind::numeric;
constexpr ControlKind boolean = ControlKind::boolean;
constexpr ControlKind option = ControlKind::option;
constexpr ControlKind color = ControlKind::color;
constexpr ControlKind label = ControlKind::label;

constexpr ControlBinding none = ControlBinding::none;
constexpr ControlBinding value = ControlBinding::value;
constexpr ControlBinding pos_x = ControlBinding::position_x;
constexpr ControlBinding pos_y = ControlBinding::position_y;

}  // namespace

// clang-format off
const ControlRow control_table[control_table_size] = {
    // label             kind     default                min    max     step   flag   items                                          col row typed binding
    {"Black Height",    numeric, {10.0},                0.0,   100.0,  0.01,  true,  nullptr,                                        7,  0,  1, value},
    {"White Height",    numeric, {20.0},                0.0,   100.0,  0.01,  true,  nullptr,                                        8,  0,  2, value},
    {"Index",           numeric, {1.4},                 1.0,   10.0,   0.01,  true,  nullptr,                                        9,  0,  3, value},
    {"Invert map",      boolean, {0.0},                 0.0,   0.0,    0.0,   false, nullptr,                                        1,  2,  4, value},
    {"Edge: %s",        option,  {0.0},                 0.0,   0.0,    0.0,   false, "Duplicate,Black,Wrap",                         10, 0,  5, value},
    {"Smoothing",       numeric, {0.0},                 0.0,   10.0,   1.0,   true,  nullptr,                                        11, 0,  6, value},
    {"ChromaticAb",     numeric, {0.0},                 0.0,   200.0,  0.01,  true,  nullptr,                                        12, 0,  7, value},
    {"Light Active",    boolean, {0.0},                 0.0,   0.0,    0.0,   false, nullptr,                                        7,  1,  8, value},
    {"Brightness",      numeric, {100.0},               0.0,   200.0,  0.01,  true,  nullptr,                                        8,  1,  9, value},
    {"Light_X",         numeric, {0.2},                 -5.0,  5.0,    0.001, true,  nullptr,                                        9,  1, 10, pos_x},
    {"Light_Y",         numeric, {0.8},                 -5.0,  5.0,    0.001, true,  nullptr,                                        10, 1, 10, pos_y},
    {"LightZ",          numeric, {0.5},                 0.05,  5.0,    0.01,  true,  nullptr,                                        11, 1, 11, value},
    {"Gloss",           numeric, {45.0},                1.0,   1000.0, 0.01,  true,  nullptr,                                        12, 1, 12, value},
    {"Back Bright",     numeric, {100.0},               0.0,   100.0,  0.01,  true,  nullptr,                                        13, 1, 13, value},
    {"Light",           color,   {1.0, 1.0, 1.0, 1.0},  0.0,   0.0,    0.0,   true,  nullptr,                                        7,  2, 14, value},
    {"CellCurve",       numeric, {1.0},                 0.0,   10.0,   0.005, true,  nullptr,                                        4,  0, 15, value},
    {"CellSize",        numeric, {0.1},                 0.01,  1.0,    0.005, true,  nullptr,                                        3,  0, 16, value},
    {"Cell Angle",      numeric, {0.0},                 -360.0, 360.0, 0.5,   true,  nullptr,                                        0,  1, 17, value},
    {"Angle Centre_X",  numeric, {0.5},                 0.0,   1.0,    0.001, true,  nullptr,                                        1,  1, 18, pos_x},
    {"Angle Centre_Y",  numeric, {0.5},                 0.0,   1.0,    0.001, true,  nullptr,                                        2,  1, 18, pos_y},
    {"Tweak_X",         numeric, {0.5},                 0.0,   1.0,    0.001, true,  nullptr,                                        5,  0, 19, pos_x},
    {"Tweak_Y",         numeric, {0.5},                 0.0,   1.0,    0.001, true,  nullptr,                                        6,  0, 19, pos_y},
    {"ShowMap",         boolean, {0.0},                 0.0,   0.0,    0.0,   false, nullptr,                                        0,  2, 20, value},
    {"CellShape: %s",   option,  {0.0},                 0.0,   0.0,    0.0,   false, "Triangle,Square,Pentagon,Hexagon,Octagon,Dodecagon", 0, 0, 21, value},
    {"Cell Count X",    numeric, {10.0},                1.0,   100.0,  1.0,   true,  nullptr,                                        1,  0, 22, value},
    {"Cell Count Y",    numeric, {10.0},                1.0,   100.0,  1.0,   true,  nullptr,                                        2,  0, 23, value},
    {"Trellin",         label,   {0.0},                 0.0,   0.0,    0.0,   false, nullptr,                                        0,  4,  0, none},
    {"Surface",         label,   {0.0},                 0.0,   0.0,    0.0,   false, nullptr,                                        7,  4,  0, none},
};

const HandleRow handle_table[handle_table_size] = {
    // handle            x row  y row  typed  colour (r, g, b, a)           diagonal arms
    {HandleId::light,    9,     10,    10,    {65535, 65535, 0, 65535},     1},
    {HandleId::centre,   18,    19,    18,    {0, 65535, 0, 65535},         0},
    {HandleId::tweak,    20,    21,    19,    {65535, 0, 0, 65535},         0},
    {HandleId::angle,    17,    -1,    17,    {0, 65535, 0, 65535},         0},
};
// clang-format on

int control_row(const char* text)
{
    for (int i = 0; i < control_table_size; ++i)
        if (std::strcmp(control_table[i].label, text) == 0) return i;
    return -1;
}

namespace {

OverlayControlVx& handle_of(Trellin& effect, HandleId id)
{
    switch (id) {
    case HandleId::light:
        return effect.light_handle;
    case HandleId::centre:
        return effect.centre_handle;
    case HandleId::tweak:
        return effect.tweak_handle;
    case HandleId::angle:
        break;
    }
    return effect.angle_handle;
}

}  // namespace

void TrellinNode::create_controls()
{
    for (int i = 0; i < control_table_size; ++i) {
        const ControlRow& def = control_table[i];
        CWidget* widget = nullptr;
        switch (def.kind) {
        case ControlKind::numeric:
            widget = Numeric(def.label, def.value[0], def.minimum, def.maximum, def.step, def.flag);
            break;
        case ControlKind::boolean:
            widget = Boolean(def.label, def.value[0] != 0.0, def.flag);
            break;
        case ControlKind::option:
            widget = Option(def.label, def.items, static_cast<int>(def.value[0]));
            break;
        case ControlKind::color:
            widget = Color(def.label, def.value, def.flag);
            break;
        case ControlKind::label:
            widget = Label(def.label);
            break;
        }
        controls[i] = {widget, def.panel_column, def.panel_row};

        if (def.binding == ControlBinding::none) continue;
        ControlVx& typed = effect->param.number(def.typed);
        if (def.binding == ControlBinding::position_y)
            typed.host_y = static_cast<CNumeric*>(widget);
        else
            typed.host = widget;
        typed.node = this;
    }

    for (const HandleRow& def : handle_table) {
        OverlayControlVx& handle = handle_of(*effect, def.handle);
        if (def.handle == HandleId::angle) {
            static_cast<AngleOverlayVx&>(handle).host_angle = static_cast<CNumeric*>(controls[def.x_row].control);
        } else {
            auto& crosshair = static_cast<CrosshairOverlayVx&>(handle);
            crosshair.host_x = static_cast<CNumeric*>(controls[def.x_row].control);
            crosshair.host_y = static_cast<CNumeric*>(controls[def.y_row].control);
            crosshair.diagonal_arms = def.diagonal_arms;
        }
        handle.control = &effect->param.number(def.typed);
        for (int c = 0; c < 4; ++c) handle.colour[c] = def.colour[c];
        handle.overlay = effect;
        handle.event_taken = &effect->overlay_event_taken;
    }
}

}  // namespace vx
