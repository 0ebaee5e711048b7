#include "apps/obs/property_map.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace trellin_obs {

namespace {

void add_control(obs_properties_t* props, const trellin_app::ControlFact& f)
{
    const char* name = f.label.c_str();
    const char* title = f.title.c_str();
    obs_property_t* p = nullptr;
    switch (f.form) {
    case trellin_app::ControlForm::number: {
        const double step = f.step > 0.0 ? f.step : (f.display_maximum - f.display_minimum) / 1000.0;
        p = obs_properties_add_float_slider(props, name, title, f.display_minimum, f.display_maximum, step);
        break;
    }
    case trellin_app::ControlForm::whole_number:
        p = obs_properties_add_int_slider(props, name, title, int(std::lround(f.display_minimum)),
                                          int(std::lround(f.display_maximum)), 1);
        break;
    case trellin_app::ControlForm::switch_:
        p = obs_properties_add_bool(props, name, title);
        break;
    case trellin_app::ControlForm::choice:
        p = obs_properties_add_list(props, name, title, OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
        for (const std::string& item : f.items) obs_property_list_add_string(p, item.c_str(), item.c_str());
        break;
    case trellin_app::ControlForm::colour:
        p = obs_properties_add_color_alpha(props, name, title);
        break;
    }
    if (p != nullptr && !f.meaning.empty()) obs_property_set_long_description(p, f.meaning.c_str());
}

std::uint8_t channel_byte(double v)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0) * 255.0));
}

}  // namespace

long long obs_colour(const double* rgba)
{
    return static_cast<long long>(std::uint32_t(channel_byte(rgba[0])) | std::uint32_t(channel_byte(rgba[1])) << 8 |
                                  std::uint32_t(channel_byte(rgba[2])) << 16 |
                                  std::uint32_t(channel_byte(rgba[3])) << 24);
}

void colour_channels(long long colour, double* rgba)
{
    const auto c = static_cast<std::uint32_t>(colour);
    for (int k = 0; k < 4; ++k) rgba[k] = double((c >> (8 * k)) & 0xffu) / 255.0;
}

void add_properties(obs_properties_t* props, const trellin_app::ControlFacts& facts,
                    const std::vector<trellin_app::LookEntry>& looks, const LookTexts& texts)
{
    obs_property_t* look =
        obs_properties_add_list(props, look_setting, texts.title, OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    obs_property_list_add_string(look, texts.none, "");
    for (const trellin_app::LookEntry& entry : looks)
        obs_property_list_add_string(look, entry.name.c_str(), entry.name.c_str());
    if (*texts.meaning != '\0') obs_property_set_long_description(look, texts.meaning);

    // One group per panel column, in the panel's order; controls outside
    // every column stay at the top level.
    std::vector<obs_properties_t*> groups(facts.groups.size(), nullptr);
    auto place = [&](const trellin_app::ControlFact& f) -> obs_properties_t* {
        const auto at = std::find(facts.groups.begin(), facts.groups.end(), f.group);
        if (f.group.empty() || at == facts.groups.end()) return props;
        const std::size_t g = std::size_t(at - facts.groups.begin());
        if (groups[g] == nullptr) {
            groups[g] = obs_properties_create();
            const std::string name = "group_" + std::to_string(g);
            obs_properties_add_group(props, name.c_str(), f.group.c_str(), OBS_GROUP_NORMAL, groups[g]);
        }
        return groups[g];
    };
    std::set<int> added;
    for (std::size_t i = 0; i < facts.controls.size(); ++i) {
        if (added.count(int(i)) != 0) continue;
        const trellin_app::ControlFact& f = facts.controls[i];
        obs_properties_t* into = place(f);
        add_control(into, f);
        added.insert(int(i));
        // A position's Y right after its X.
        if (f.is_position_x() && added.insert(f.partner).second)
            add_control(into, facts.controls[std::size_t(f.partner)]);
    }
}

void set_defaults(obs_data_t* settings, const trellin_app::ControlFacts& facts)
{
    obs_data_set_default_string(settings, look_setting, "");
    for (const trellin_app::ControlFact& f : facts.controls) {
        const char* name = f.label.c_str();
        switch (f.form) {
        case trellin_app::ControlForm::number:
            obs_data_set_default_double(settings, name, f.fallback[0]);
            break;
        case trellin_app::ControlForm::whole_number:
            obs_data_set_default_int(settings, name, std::lround(f.fallback[0]));
            break;
        case trellin_app::ControlForm::switch_:
            obs_data_set_default_bool(settings, name, f.fallback[0] != 0.0);
            break;
        case trellin_app::ControlForm::choice: {
            const auto index = std::size_t(f.fallback[0]);
            obs_data_set_default_string(settings, name, index < f.items.size() ? f.items[index].c_str() : "");
            break;
        }
        case trellin_app::ControlForm::colour:
            obs_data_set_default_int(settings, name, obs_colour(f.fallback));
            break;
        }
    }
}

void write_settings(const FXNode& node, const trellin_app::ControlFacts& facts, obs_data_t* settings)
{
    for (const trellin_app::ControlFact& f : facts.controls) {
        const CWidget* c = node.control(f.control);
        if (c == nullptr) continue;
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        c->get_values(v);
        const char* name = f.label.c_str();
        switch (f.form) {
        case trellin_app::ControlForm::number:
            obs_data_set_double(settings, name, v[0]);
            break;
        case trellin_app::ControlForm::whole_number:
            obs_data_set_int(settings, name, std::lround(v[0]));
            break;
        case trellin_app::ControlForm::switch_:
            obs_data_set_bool(settings, name, v[0] != 0.0);
            break;
        case trellin_app::ControlForm::choice: {
            const auto index = std::size_t(v[0]);
            if (index < f.items.size()) obs_data_set_string(settings, name, f.items[index].c_str());
            break;
        }
        case trellin_app::ControlForm::colour:
            obs_data_set_int(settings, name, obs_colour(v));
            break;
        }
    }
}

void read_settings(obs_data_t* settings, const trellin_app::ControlFacts& facts, FXNode& node)
{
    for (const trellin_app::ControlFact& f : facts.controls) {
        CWidget* c = node.control(f.control);
        if (c == nullptr) continue;
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        c->get_values(v);
        double given[4] = {v[0], v[1], v[2], v[3]};
        const char* name = f.label.c_str();
        switch (f.form) {
        case trellin_app::ControlForm::number: {
            const double x = obs_data_get_double(settings, name);
            if (std::isfinite(x)) given[0] = x;
            break;
        }
        case trellin_app::ControlForm::whole_number:
            // The slider's whole number stands for the control's value
            // when it rounds to it.
            if (obs_data_get_int(settings, name) != std::lround(v[0]))
                given[0] = double(obs_data_get_int(settings, name));
            break;
        case trellin_app::ControlForm::switch_:
            given[0] = obs_data_get_bool(settings, name) ? 1.0 : 0.0;
            break;
        case trellin_app::ControlForm::choice: {
            const std::string item = obs_data_get_string(settings, name);
            const auto at = std::find(f.items.begin(), f.items.end(), item);
            if (at != f.items.end()) given[0] = double(at - f.items.begin());
            break;
        }
        case trellin_app::ControlForm::colour:
            // The picker's 8 bits a channel stand for the control's colour
            // when they are its colour rounded.
            if (obs_data_get_int(settings, name) != obs_colour(v))
                colour_channels(obs_data_get_int(settings, name), given);
            break;
        }
        if (std::equal(std::begin(given), std::end(given), std::begin(v))) continue;
        c->set_values(given);
        c->clear_keys();
    }
}

}  // namespace trellin_obs
