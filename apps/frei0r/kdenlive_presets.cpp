#include "apps/frei0r/kdenlive_presets.h"

#include <nlohmann/json.hpp>

namespace trellin_frei0r {

std::string kdenlive_presets(const std::vector<KdenlivePreset>& presets)
{
    nlohmann::json file = nlohmann::json::array();
    for (const KdenlivePreset& preset : presets) {
        nlohmann::json values = nlohmann::json::array();
        for (const EffectEntry& e : preset.entries) {
            if (e.parameter.kind == ControlKind::label) continue;
            // Strings, as Kdenlive stores a value it does not hold as a number.
            values.push_back({{"name", e.parameter.name}, {"value", kdenlive_filter_value(e)}});
        }
        file.push_back({{preset.name, values}});
    }
    return file.dump(4) + "\n";
}

}  // namespace trellin_frei0r
