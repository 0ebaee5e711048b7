#include "framework/control_vx.h"

#include <cstdint>

namespace vx {

namespace {

// Hides or shows one bound host control.
void forward_hidden(CWidget* control, bool state)
{
    if (!control) return;
    if (state)
        control->hide();
    else
        control->show();
}

// Greys out or re-enables one bound host control.
void forward_disabled(CWidget* control, bool state)
{
    if (!control) return;
    if (state)
        control->disable();
    else
        control->enable();
}

double numeric_value(const CWidget* control)
{
    return static_cast<const CNumeric*>(control)->value;
}

// A colour component in 0..1 as a sample with 32767 as full scale: clamped,
// scaled by 32767.5 and truncated, so 1.0 gives 32767. A NaN component
// counts as 0 rather than reaching the integer conversion.
std::uint16_t colour_sample(double c)
{
    if (!(c >= 0.0)) c = 0.0;
    if (c > 1.0) c = 1.0;
    return static_cast<std::uint16_t>(c * 32767.5);
}

}  // namespace

void ControlVx::set_hidden(bool state)
{
    forward_hidden(host, state);
    forward_hidden(host_y, state);
    hidden = state;
}

void ControlVx::set_disabled(bool state)
{
    forward_disabled(host, state);
    forward_disabled(host_y, state);
    disabled = state;
}

void FloatControlVx::pull()
{
    value = numeric_value(host);
}

void IntegerControlVx::pull()
{
    // The conversion truncates toward zero: -2.7 gives -2.
    value = static_cast<std::int32_t>(numeric_value(host));
}

void CheckboxControlVx::pull()
{
    value = static_cast<const CBoolean*>(host)->state;
}

void CheckboxControlVx::value_at(double time, int& result)
{
    if (node) node->evaluate_controls(time, false);
    value = static_cast<const CBoolean*>(host)->state;
    result = value ? 1 : 0;
}

void ListControlVx::pull()
{
    value = static_cast<const COption*>(host)->index + 1;
}

void PositionControlVx::pull()
{
    x = numeric_value(host);
    y = host_y->value;
}

void ColourControlVx::pull()
{
    double cr = 0.0, cg = 0.0, cb = 0.0, ca = 0.0;
    static_cast<const CColor*>(host)->get_value(cr, cg, cb, ca);
    r = colour_sample(cr);
    g = colour_sample(cg);
    b = colour_sample(cb);
    a = colour_sample(ca);
}

void AngleControlVx::pull()
{
    value = numeric_value(host);
}

}  // namespace vx
