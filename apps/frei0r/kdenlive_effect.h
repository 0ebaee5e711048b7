// The effect description Kdenlive reads for the frei0r module: one
// parameter per frei0r parameter, under the control's own name, with its
// range, default and unit in the control's own terms. Kdenlive shows a value
// v for a frei0r value u as v = u * factor + offset, so a numeric control of
// range min..max gets factor = max - min and offset = min: the frei0r module
// maps u back to min + u * (max - min).
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
std::string kdenlive_effect(const std::string& frei0r_name, const std::string& title, const std::string& description,
                            const std::vector<EffectEntry>& entries);

}  // namespace trellin_frei0r
