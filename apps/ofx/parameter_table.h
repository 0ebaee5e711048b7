// The OpenFX parameters of the effect, read off a node's controls: one
// parameter per value control, except that the two controls of a crosshair
// handle ("Light_X" and "Light_Y") become one 2D parameter, and the panel's
// labels become groups.
//
// Kinds:
//   real     a double with the control's range, default and step
//   integer  a numeric control that steps by whole numbers over a whole range
//            (the cell counts, the smoothing in pixels)
//   boolean  a switch
//   choice   an option, with its items
//   colour   RGBA, each component 0..1
//   pair     a 2D double, x and y in the node's own units (fractions of the
//            picture's width and height, y downwards), each with its own
//            range; the host sees it as a position on the picture in its own
//            coordinates (host_position.h maps between the two)
//
// Every parameter shows its control's readable title ("Cell Size",
// "Chromatic Aberration"); its name, which scripts and saved projects use,
// is the control's label run together ("CellSize", "ChromaticAb").
//
// Groups: a label on the panel heads the columns from its own up to the next
// label's; every control placed in those columns belongs to its group. Within
// a group the parameters follow the panel's reading order (rows from the top,
// each from its first column).
#pragma once

#include <string>
#include <vector>

#include "contract/host_api.h"

namespace trellin_ofx {

enum class ParamKind { real, integer, boolean, choice, colour, pair };

struct Parameter {
    ParamKind kind = ParamKind::real;
    std::string name;   // the parameter's name: the label's letters and digits, unique
    std::string label;  // what the panel shows: the control's title
    std::string hint;   // the control's one-line meaning
    std::string group;  // the name of its group; empty at the top level
    // The node's controls (FXNode::control index); control_y only for pairs.
    int control = -1;
    int control_y = -1;
    // Numeric kinds: per component (pairs: x then y).
    double minimum[2] = {0.0, 0.0};
    double maximum[2] = {0.0, 0.0};
    double display_minimum[2] = {0.0, 0.0};  // what the slider spans
    double display_maximum[2] = {0.0, 0.0};
    double fallback[4] = {0.0, 0.0, 0.0, 0.0};  // the default, per component
    double step = 0.0;
    int digits = 3;
    bool angle = false;  // the control is an angle in degrees
    std::vector<std::string> items;
};

struct Group {
    std::string name;
    std::string label;
};

struct ParameterTable {
    std::vector<Group> groups;
    std::vector<Parameter> parameters;
};

// Reads the table off a node: its panel gives the groups and the order, its
// controls the rest.
ParameterTable parameters_of(FXNode& node);

// A name made of the letters and digits of `label`, each word started with a
// capital: "Cell Count X" gives "CellCountX", "Invert map" "InvertMap".
std::string parameter_name(const std::string& label);

// Writes parameter `p`'s `values` into the node's controls (pairs: x, y;
// colours: r, g, b, a; every other kind one value). Values are clamped to
// the control's range and rounded where it takes whole numbers; a NaN keeps
// the control as it was.
void store_values(FXNode& node, const Parameter& p, const double* values);

// The node's present values of parameter `p`, as store_values takes them.
void load_values(const FXNode& node, const Parameter& p, double* values);

}  // namespace trellin_ofx
