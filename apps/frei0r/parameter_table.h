// The frei0r parameters of the effect: one per value control of a node, in
// the reading order of the node's control panel (row 0 from column 0, then
// the rows below), and the mapping between frei0r's parameter values and the
// controls' own values.
//
// frei0r kinds:
//   numeric  F0R_PARAM_DOUBLE: 0..1 spans the control's range linearly (0 is
//            its minimum, 1 its maximum); controls that step by whole numbers
//            take the nearest whole number
//   boolean  F0R_PARAM_BOOL: 0.5 and above is on
//   option   F0R_PARAM_STRING: an item name
//   colour   F0R_PARAM_COLOR: red, green, blue 0..1; alpha is always 1
//
// A value outside 0..1 is clamped to it; a NaN, a null pointer or an unknown
// item name changes nothing.
#pragma once

#include <string>
#include <vector>

#include "contract/host_api.h"

namespace trellin_frei0r {

struct Parameter {
    // Index of the control among the node's controls (FXNode::control).
    int control_index = -1;
    ControlKind kind = ControlKind::numeric;
    int frei0r_type = 0;      // F0R_PARAM_*
    std::string name;         // the control's label, an option's without ": %s"
    std::string explanation;  // the range in the control's own units and the default
    // Numeric controls.
    double minimum = 0.0;
    double maximum = 1.0;
    bool whole_numbers = false;
    // Option controls.
    std::vector<std::string> items;
};

// Reads the parameters off a node: its panel layout gives the order, its
// controls the names, kinds, ranges and items. Controls left off the panel
// and labels are no parameters.
std::vector<Parameter> parameters_of(FXNode& node);

// A numeric control's value for the frei0r value `unit`, clamped to 0..1
// first: (1 - u) * minimum + u * maximum, so that 0 and 1 give the ends
// exactly, rounded to the nearest whole number for whole-number controls.
// `unit` must not be NaN.
double control_value(const Parameter& p, double unit);

// The frei0r value (0..1) of a numeric control's value.
double unit_value(const Parameter& p, double control_value);

// `unit` clamped to 0..1.
double clamp_unit(double unit);

// The index of the item named `name` (any case); -1 when there is none.
int item_index(const Parameter& p, const char* name);

}  // namespace trellin_frei0r
