// The settings of a node that a user edits, taken at one moment and handed to
// a node that renders elsewhere (another thread, a later frame): every
// control's value and keys, as a project saves them. The viewer, the
// plug-ins and the Python module keep an edited node beside a rendering one
// and move settings between them with this.
#pragma once

#include "contract/host_api.h"
#include "host/regv.h"

namespace trellin_app {

class SettingsSnapshot {
public:
    SettingsSnapshot() = default;
    // The settings of `edited` as they are now.
    static SettingsSnapshot of(FXNode& edited)
    {
        SettingsSnapshot snapshot;
        edited.reg_save(snapshot.settings_);
        return snapshot;
    }
    // Gives every control of `node` the snapshot's value and keys; false when
    // the node refuses them (it is then as it was, or as far as it got).
    bool apply_to(FXNode& node) const { return node.reg_load(settings_); }
    const RegV& settings() const { return settings_; }
    // True when this snapshot and `other`, taken of `node` or of nodes like
    // it, hold the same value and keys for `node`'s control `control`
    // (both without it count as the same).
    bool same_control(const SettingsSnapshot& other, const FXNode& node, int control) const;

private:
    RegV settings_;
};

}  // namespace trellin_app
