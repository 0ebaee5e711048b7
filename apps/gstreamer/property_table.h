// The element's properties for the effect's controls, read off a node: one
// typed GObject property per value control, named by the control's label in
// lower case with '-' between words ("Cell Count X" -> cell-count-x,
// "CellShape: %s" -> cell-shape, "LightZ" -> light-z).
//
// Forms:
//   number        gdouble over the control's range and default
//   whole number  gint, for controls that step by 1 between whole ends
//                 ("Smoothing", the cell counts)
//   switch        gboolean
//   choice        an enum of the option's items (nick: the item in lower
//                 case, "hexagon"; name: the item, "Hexagon")
//   colour        a GstValueArray of red, green, blue and alpha, each 0 to 1
//                 (gst-launch: light="<1.0, 0.8, 0.6, 1.0>"; alpha may be
//                 left off and is then 1)
//   colour channel one channel of the colour as a gdouble 0 to 1
//                 (light-red, light-green, light-blue, light-alpha), so
//                 that a control source can animate the colour
// Every property but the colour array is controllable: a GstController
// control source may drive it.
#pragma once

#include <glib-object.h>

#include <string>
#include <vector>

#include "contract/host_api.h"

namespace trellin_gst {

enum class PropertyForm { number, whole_number, switch_, choice, colour, colour_channel };

struct ControlProperty {
    std::string name;        // kebab-case
    int control_index = -1;  // FXNode::control
    PropertyForm form = PropertyForm::number;
    int channel = 0;              // a colour channel's index (0 red .. 3 alpha)
    GParamSpec* param = nullptr;  // the property's GParamSpec
};

// A label as a property name: words split at spaces, underscores and where
// a capital follows a small letter or digit, in lower case, joined by '-'.
std::string property_name(const std::string& label);

// The properties for every value control of `node`, in the node's control
// order, with their GParamSpecs made (ranges and defaults from the
// controls; the option enums are registered once per process). Controls
// whose name is no valid property name or repeats an earlier one are left out.
std::vector<ControlProperty> control_properties(const FXNode& node);

// The control's current value as the property's value (`value` is
// initialised to the property's type).
void read_property(const FXNode& node, const ControlProperty& p, GValue* value);

// Stores a property value in the control and drops the control's keys, as a
// setting does. GObject has checked the type and the range already; what it
// lets through is checked here. Returns an empty string when stored, else
// why the value was refused (nothing is stored then).
std::string write_property(FXNode& node, const ControlProperty& p, const GValue* value);

}  // namespace trellin_gst
