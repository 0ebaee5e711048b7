// The effect description Kdenlive reads for the frei0r module, in the shape
// of Kdenlive's own frei0r effect files: one parameter per frei0r parameter,
// under the control's own name.
//
// Kdenlive hands the filter the value shown divided by the parameter's
// factor (it has no offset), and its default as it is written, in the
// filter's own terms. The frei0r module spans a numeric control's range
// min..max with 0..1 (parameter_table.h), so a control is shown
//   - from 0: in its own units, factor = max, the default d written d / max;
//   - from another minimum, counting whole numbers (at most 200 of them): as
//     a list of its values, each handing the module its place in the range
//     (written as MLT writes a number, %g, for Kdenlive finds the entry it
//     shows by that text);
//   - from another minimum otherwise: as its place in its range, 0 % (its
//     minimum) to 100 % (its maximum), the comment naming both ends.
#pragma once

#include <string>
#include <vector>

#include "apps/frei0r/parameter_table.h"

namespace trellin_frei0r {

// The description file's text for `parameters` of the frei0r filter
// `frei0r_name` ("trellin"); `defaults` holds each parameter's default value
// in the control's own terms (an option's item index, a switch 0 or 1, a
// colour's red, green and blue), `meanings` a line saying what it does.
struct EffectEntry {
    Parameter parameter;
    std::vector<double> defaults;
    std::string meaning;
};
// The filter's value for the entry's values (`defaults`), as the description
// writes a default and Kdenlive hands it to the filter: a numeric control's
// frei0r value (a list entry's text for a listed one), a switch's "1" or
// "0", an option's item name, a colour's 0xRRGGBBff.
std::string kdenlive_filter_value(const EffectEntry& entry);

std::string kdenlive_effect(const std::string& frei0r_name, const std::string& title, const std::string& description,
                            const std::vector<EffectEntry>& entries);

}  // namespace trellin_frei0r
