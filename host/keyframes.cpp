// Animation of host controls: keys sorted by time and evaluation at a time.
#include <algorithm>
#include <cmath>

#include "contract/host_api.h"

void CWidget::set_key(const ControlKey& key)
{
    auto at = std::lower_bound(keys_.begin(), keys_.end(), key.time,
                               [](const ControlKey& k, double t) { return k.time < t; });
    if (at != keys_.end() && at->time == key.time)
        *at = key;
    else
        keys_.insert(at, key);
}

void CWidget::clear_keys()
{
    keys_.clear();
}

void CWidget::evaluate_at(double time)
{
    // -1.0 asks for the control as it stands now; a NaN time names no moment.
    if (keys_.empty() || time == -1.0 || std::isnan(time)) return;
    const int n = value_count();
    if (n <= 0) return;

    if (time <= keys_.front().time) {
        set_values(keys_.front().v);
        return;
    }
    if (time >= keys_.back().time) {
        set_values(keys_.back().v);
        return;
    }
    // keys_.front().time < time < keys_.back().time: the first key later than
    // `time` exists and is not the first key.
    auto next =
        std::upper_bound(keys_.begin(), keys_.end(), time, [](double t, const ControlKey& k) { return t < k.time; });
    const ControlKey& k1 = *next;
    const ControlKey& k0 = *(next - 1);
    if (time == k0.time || !interpolates()) {
        set_values(k0.v);
        return;
    }
    const double f = (time - k0.time) / (k1.time - k0.time);
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < n && i < 4; ++i) v[i] = k0.v[i] + (k1.v[i] - k0.v[i]) * f;
    set_values(v);
}
