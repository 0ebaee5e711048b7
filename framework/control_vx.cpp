// STUB: replaced by the typed controls.
#include "framework/control_vx.h"

namespace vx {

void ControlVx::set_hidden(bool state) { hidden = state; }
void ControlVx::set_disabled(bool state) { disabled = state; }
void FloatControlVx::pull() {}
void IntegerControlVx::pull() {}
void CheckboxControlVx::pull() {}
void CheckboxControlVx::value_at(double, int& result) { result = value ? 1 : 0; }
void ListControlVx::pull() {}
void PositionControlVx::pull() {}
void ColourControlVx::pull() {}
void AngleControlVx::pull() {}

}  // namespace vx
