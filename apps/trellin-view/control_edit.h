// Edits made in the viewer, before the node hears of them: numbers kept on
// their control's steps, animated controls keeping an edit as their key at
// the frame shown, keys set and deleted by hand, and finding the controls an
// interaction (a handle drag, a panel edit) changed.
#pragma once

#include <array>
#include <vector>

#include "contract/host_api.h"

namespace trellin_view {

// Decimals a step needs to be written exactly: 0 for 1, 2 for 0.01, 3 for
// 0.005; at most 9.
int step_decimals(double step);

// `v` moved to the nearest step of the control counted from its minimum,
// inside its range, and rounded to the step's decimals so that values read
// back as written (0.305, not 0.30500000000000005). A control without a
// positive step only clamps.
double snap_to_step(const CNumeric& control, double v);

// Brings a node that the viewer is about to show into step with its host
// controls, as a host does when it opens a node's panel: the node evaluates
// its controls at `time`, then hears of every value control once (reason 0,
// not a user's change), so that its cached values, and the availability of
// controls that depend on others, follow the controls as loaded. Clears the
// host records this leaves behind.
void open_for_editing(FXNode& node, double time);

// After an edit: every control of `node` that has keys and whose value now
// differs from its keys' value at `time` gets a key at `time` holding its
// value, so that rendering at `time` gives what the panel shows. Returns the
// number of controls keyed.
int key_edits_at(FXNode& node, double time);

// The control has a key at `time`.
bool has_key_at(const CWidget& control, double time);
// Sets a key at `time` holding the control's value (replacing a key there).
void set_key_here(CWidget& control, double time);
// Deletes the key at `time`, if there is one; the control then takes its
// value at `time` from the keys left, or keeps its value when none are left.
// Returns whether a key was deleted.
bool delete_key_at(CWidget& control, double time);

// A key action chosen from a control's menu in the panel: a key set at the
// frame shown, the key there deleted, or every key of the control cleared.
struct ControlKeyAction {
    enum class Kind { set, remove, clear } kind = Kind::set;
    CWidget* control = nullptr;
};

// Every control's values, in the node's order, to tell later which ones an
// interaction changed.
using ControlValues = std::vector<std::array<double, 4>>;
ControlValues control_values(const FXNode& node);
// The value controls whose values differ from `before` (taken from the same
// node).
std::vector<CWidget*> changed_controls(const FXNode& node, const ControlValues& before);

}  // namespace trellin_view
