// The filter's properties and settings, mapped from the control facts
// (control_facts.h): one setting per value control, named by its label as
// settings name it ("CellSize", "Edge", "Light_X"), so a scene collection
// reads as a project does.
//
//   number        a float slider over the control's display range, by its step
//   whole number  an int slider (the cell counts, "Smoothing")
//   switch        a check box
//   choice        a list of the option's items, saved as the item ("Hexagon")
//   colour        a colour picker with alpha (OBS keeps 8 bits a channel)
// Every property has the control's title as its text and its one-line
// meaning as its tooltip, and sits in the group of its panel column. A
// position's X and Y are a pair of sliders, one after the other. Above them
// all, "Look" lists the named looks: choosing one sets every control.
#pragma once

#include <obs.h>

#include <string>
#include <vector>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/module_loader.h"

namespace trellin_obs {

// The setting that names the chosen look ("" for none).
inline constexpr const char* look_setting = "look";

// The texts of the look list, in the user's language.
struct LookTexts {
    const char* title = "Look";
    const char* none = "(none)";
    const char* meaning = "";
};

// Adds the properties of every control, and the list of `looks`.
void add_properties(obs_properties_t* props, const trellin_app::ControlFacts& facts,
                    const std::vector<trellin_app::LookEntry>& looks, const LookTexts& texts);

// Every control's default as the setting's default.
void set_defaults(obs_data_t* settings, const trellin_app::ControlFacts& facts);

// Writes the values of `node`'s controls into `settings` (a look chosen in
// the list shows its values in the properties).
void write_settings(const FXNode& node, const trellin_app::ControlFacts& facts, obs_data_t* settings);

// Gives each control of `node` its setting's value where the two differ,
// dropping that control's keys; a control whose setting holds its own value
// keeps its keys (those of a look). A choice whose item the option does not
// have keeps its value.
void read_settings(obs_data_t* settings, const trellin_app::ControlFacts& facts, FXNode& node);

// A colour as OBS keeps it (0xAABBGGRR) and back, channels 0 to 1.
long long obs_colour(const double* rgba);
void colour_channels(long long colour, double* rgba);

}  // namespace trellin_obs
