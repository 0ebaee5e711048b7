// Settings and keys as the command line gives them ("LABEL=VALUE",
// "LABEL@TIME=VALUE"): the first line of the input is a setting, the second a
// key. Properties: no text crashes the parsers; a value taken is within its
// control's range, and the control's value written back as a setting is
// taken again; a key's time is a frame number within the limits project
// files keep.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "apps/common/core/control_key.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/control_text.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_node.h"
#include "host/regv.h"

namespace {

using namespace trellin_fuzz;

void check_in_range(const CWidget& control)
{
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    control.get_values(v);
    if (control.kind() == ControlKind::numeric && !static_cast<const CNumeric&>(control).in_range(v[0]))
        broken("a numeric value outside its range was taken:", control.label());
    if (control.kind() == ControlKind::color) {
        for (double c : v) {
            if (!(c >= 0.0 && c <= 1.0)) broken("a colour component outside 0..1 was taken");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::string setting_text = input.line();
    const std::string key_text = input.line();
    NodeHandle node = new_node();
    try {
        const trellin_app::Setting s = trellin_app::parse_setting(setting_text);
        CWidget* control = trellin_app::apply_setting(*node, s);
        check_in_range(*control);
        // What --print-controls shows is taken back.
        const std::string shown = trellin_app::value_text(*control);
        try {
            trellin_app::apply_setting(*node, {s.label, shown});
        } catch (const trellin_app::SettingError& e) {
            broken("a value written back as a setting was refused:", e.what());
        }
        check_in_range(*control);
    } catch (const trellin_app::SettingError&) {
    }
    try {
        const trellin_app::KeySetting key = trellin_app::parse_key(key_text);
        trellin_app::apply_key(*node, key);
        if (!(std::fabs(key.time) <= regv_limits::max_key_time)) broken("a key time beyond the limits was taken");
    } catch (const trellin_app::SettingError&) {
    }
    return 0;
}
