// The presets file Kdenlive offers in an effect's preset menu: a JSON array
// of one-member objects, each naming a preset and holding the list of the
// filter's parameters as {"name": parameter, "value": text}. Kdenlive hands
// each value to the filter as it is, the way it restores a preset it saved
// itself, so the values are written in the filter's own terms
// (kdenlive_filter_value), every parameter in each preset: applying one sets
// the whole panel.
//
// Kdenlive 22.12 reads the file of the effect "frei0r.trellin" from the
// user's folder only: ~/.local/share/kdenlive/effects/presets/frei0r.trellin.json.
#pragma once

#include <string>
#include <vector>

#include "apps/frei0r/kdenlive_effect.h"

namespace trellin_frei0r {

struct KdenlivePreset {
    std::string name;
    std::vector<EffectEntry> entries;  // each with its value in `defaults`
};

std::string kdenlive_presets(const std::vector<KdenlivePreset>& presets);

}  // namespace trellin_frei0r
