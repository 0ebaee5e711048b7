#include "apps/trellin-view/control_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace trellin_view {

int step_decimals(double step)
{
    if (!(step > 0.0) || !std::isfinite(step)) return 0;
    double scaled = step;
    for (int d = 0; d < 9; ++d) {
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) return d;
        scaled *= 10.0;
    }
    return 9;
}

double snap_to_step(const CNumeric& control, double v)
{
    if (std::isnan(v)) v = control.value;
    double snapped = std::clamp(v, control.minimum, control.maximum);
    if (control.step > 0.0 && std::isfinite(control.step)) {
        const double n = std::round((snapped - control.minimum) / control.step);
        snapped = control.minimum + n * control.step;
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", step_decimals(control.step), snapped);
        snapped = std::strtod(text, nullptr);
        // Rounding the last step may step past an end that is not on a step.
        snapped = std::clamp(snapped, control.minimum, control.maximum);
    }
    return snapped;
}

void open_for_editing(FXNode& node, double time)
{
    node.evaluate_controls(time, false);
    for (int i = 0; i < node.num_controls(); ++i) {
        CWidget* c = node.control(i);
        if (c != nullptr && c->value_count() > 0) node.notify_control_changed(c, change_reason::under_way, time);
    }
    node.clear_host_records();
}

int key_edits_at(FXNode& node, double time)
{
    int keyed = 0;
    for (int i = 0; i < node.num_controls(); ++i) {
        CWidget* c = node.control(i);
        if (c == nullptr || c->keys().empty() || c->value_count() == 0) continue;
        double now[4] = {0.0, 0.0, 0.0, 0.0};
        double at_time[4] = {0.0, 0.0, 0.0, 0.0};
        c->get_values(now);
        c->evaluate_at(time);
        c->get_values(at_time);
        c->set_values(now);
        if (std::equal(now, now + c->value_count(), at_time)) continue;
        ControlKey key;
        key.time = time;
        std::copy(now, now + c->value_count(), key.v);
        c->set_key(key);
        ++keyed;
    }
    return keyed;
}

bool has_key_at(const CWidget& control, double time)
{
    return std::any_of(control.keys().begin(), control.keys().end(),
                       [time](const ControlKey& k) { return k.time == time; });
}

void set_key_here(CWidget& control, double time)
{
    if (control.value_count() == 0) return;
    ControlKey key;
    key.time = time;
    control.get_values(key.v);
    control.set_key(key);
}

bool delete_key_at(CWidget& control, double time)
{
    if (!has_key_at(control, time)) return false;
    const std::vector<ControlKey> keys = control.keys();
    control.clear_keys();
    for (const ControlKey& k : keys)
        if (k.time != time) control.set_key(k);
    control.evaluate_at(time);
    return true;
}

ControlValues control_values(const FXNode& node)
{
    ControlValues values(std::size_t(std::max(0, node.num_controls())), std::array<double, 4>{});
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c != nullptr && c->value_count() > 0) c->get_values(values[std::size_t(i)].data());
    }
    return values;
}

std::vector<CWidget*> changed_controls(const FXNode& node, const ControlValues& before)
{
    std::vector<CWidget*> changed;
    const ControlValues now = control_values(node);
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (i < before.size() && now[i] == before[i]) continue;
        CWidget* c = node.control(int(i));
        if (c != nullptr && c->value_count() > 0) changed.push_back(c);
    }
    return changed;
}

}  // namespace trellin_view
