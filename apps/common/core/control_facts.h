// What a host needs to know of each of the effect's controls to offer it as a
// parameter, a property or a slider of its own: its label (the name settings,
// scripts and the command line use), a readable title, its form, range, step,
// default, items, the panel group it sits in and its one-line meaning. The
// node gives all of it through its controls and its panel, except the titles
// and meanings, which are the table of this file, keyed by label (a test
// checks it against the loaded module). Every host maps its own parameters
// from these facts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"

namespace trellin_app {

enum class ControlForm {
    number,        // a real number over a range
    whole_number,  // a number that steps by 1 between whole ends (the cell counts, the smoothing)
    switch_,       // on or off
    choice,        // one of named items
    colour,        // red, green, blue, alpha, each 0 to 1
};

struct ControlFact {
    int control = -1;  // the node's control (FXNode::control index)
    ControlForm form = ControlForm::number;
    std::string label;    // as settings name it: "CellSize", "Edge", "Light_X"
    std::string title;    // what a panel shows: "Cell Size", "Edge", "Light X"
    std::string meaning;  // one line in a user's words
    std::string group;    // the panel label heading its column ("Trellin"); empty when none
    int column = -1;      // its place on the node's panel; -1 when it is not placed
    int row = -1;
    double minimum = 0.0;  // numbers: the range, the step
    double maximum = 0.0;
    double step = 0.0;
    // The part of the range a slider spans, where a hand needs less than the
    // whole of it (Gloss: 1 to 200 of 1 to 1000); the range otherwise.
    double display_minimum = 0.0;
    double display_maximum = 0.0;
    double fallback[4] = {0.0, 0.0, 0.0, 0.0};  // the default, per component
    std::vector<std::string> items;             // a choice's items
    // A position's other half: the fact of the "_Y" control for an "_X"
    // control and the other way round (index into ControlFacts::controls);
    // -1 for every other control.
    int partner = -1;
    bool is_position_x() const { return partner >= 0 && label.size() > 2 && label.ends_with("_X"); }
};

// One place on the node's panel: a value control's or a label's.
struct PanelPlace {
    int control = -1;  // the node's control (FXNode::control index)
    int fact = -1;     // its fact (index into ControlFacts::controls); -1 for a label
    int column = 0;
    int row = 0;
};

struct ControlFacts {
    std::vector<std::string> groups;    // the panel's labels, by column
    std::vector<ControlFact> controls;  // every value control, in the node's control order
    // Every place on the node's panel in the order the node made them, for a
    // host that draws the panel as the node lays it out.
    std::vector<PanelPlace> places;
    // The fact of the control this label names (as settings name it, any
    // case); null when none does.
    const ControlFact* find(std::string_view label) const;
};

// The facts of every value control of `node`.
ControlFacts control_facts(FXNode& node);

// True for a numeric control that steps by whole numbers between whole ends
// that an int holds.
bool takes_whole_numbers(const CNumeric& control);

// The one-line meaning of the control `label` names (any case; an option's
// full label "Edge: %s" answers as well as "Edge"); empty for a label the
// table does not know.
std::string control_meaning(std::string_view label);

// The readable title of the control `label` names; the label itself for a
// label the table does not know.
std::string control_title(std::string_view label);

// Every label of the table, in its order.
std::vector<std::string> described_labels();

}  // namespace trellin_app
