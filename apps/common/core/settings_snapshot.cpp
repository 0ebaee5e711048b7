#include "apps/common/core/settings_snapshot.h"

namespace trellin_app {

namespace {

// The entry of the control `name` names in a snapshot's document; null when
// it has none.
const nlohmann::json* entry(const RegV& settings, const std::string& name)
{
    const auto controls = settings.doc.find("controls");
    if (controls == settings.doc.end() || !controls->is_object()) return nullptr;
    const auto found = controls->find(name);
    return found == controls->end() ? nullptr : &*found;
}

}  // namespace

bool SettingsSnapshot::same_control(const SettingsSnapshot& other, const FXNode& node, int control) const
{
    const CWidget* c = node.control(control);
    if (c == nullptr) return true;
    const std::string name = saved_control_name(node, *c);
    const nlohmann::json* mine = entry(settings_, name);
    const nlohmann::json* theirs = entry(other.settings_, name);
    if (mine == nullptr || theirs == nullptr) return mine == theirs;
    return *mine == *theirs;
}

}  // namespace trellin_app
