#include "apps/gstreamer/property_table.h"

#include <gst/gst.h>

#include <array>
#include <cctype>
#include <cmath>
#include <climits>
#include <set>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_text.h"

namespace trellin_gst {

namespace {

constexpr GParamFlags control_flags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | GST_PARAM_CONTROLLABLE | GST_PARAM_MUTABLE_PLAYING);
constexpr GParamFlags colour_flags = static_cast<GParamFlags>(G_PARAM_READWRITE | GST_PARAM_MUTABLE_PLAYING);
constexpr std::array<const char*, 4> channel_names = {"red", "green", "blue", "alpha"};

// "CellShape" -> "CellShape", "cell count" -> "CellCount": for type names.
std::string camel(const std::string& label)
{
    std::string out;
    bool start = true;
    for (const char ch : label) {
        if (std::isalnum(static_cast<unsigned char>(ch)) == 0) {
            start = true;
            continue;
        }
        out += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(ch))) : ch;
        start = false;
    }
    return out;
}

// The enum type of an option's items, registered on first use and kept for
// the life of the process (GLib never unregisters a static type).
GType choice_type(const COption& option)
{
    const std::string type_name = "GstTrellinGlass" + camel(option.short_label());
    if (const GType known = g_type_from_name(type_name.c_str()); known != 0) return known;
    const std::vector<std::string>& items = option.items();
    auto* values = new GEnumValue[items.size() + 1];
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string nick = items[i];
        for (char& ch : nick) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        values[i] = {static_cast<gint>(i), g_intern_string(items[i].c_str()), g_intern_string(nick.c_str())};
    }
    values[items.size()] = {0, nullptr, nullptr};
    return g_enum_register_static(g_intern_string(type_name.c_str()), values);
}

// The control's one-line meaning (as trellin info gives it), with its step.
std::string blurb(const CWidget& c, const char* what)
{
    std::string text = trellin_app::control_meaning(trellin_app::setting_label(c));
    if (text.empty())
        text = "The effect's \"" + trellin_app::setting_label(c) + "\" " + what;
    else
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (c.kind() == ControlKind::numeric) text += " (steps of " + trellin_app::step_text(c) + ")";
    return text;
}

GParamSpec* numeric_param(const std::string& name, const CNumeric& c, PropertyForm& form)
{
    if (trellin_app::takes_whole_numbers(c)) {
        form = PropertyForm::whole_number;
        return g_param_spec_int(name.c_str(), c.label().c_str(), blurb(c, "control").c_str(),
                                static_cast<gint>(c.minimum), static_cast<gint>(c.maximum),
                                static_cast<gint>(std::lround(c.default_value)), control_flags);
    }
    form = PropertyForm::number;
    return g_param_spec_double(name.c_str(), c.label().c_str(), blurb(c, "control").c_str(), c.minimum, c.maximum,
                               c.default_value, control_flags);
}

// The colour as an array property and as one property per channel.
void colour_properties(const std::string& name, int index, const CColor& c, std::vector<ControlProperty>& out)
{
    ControlProperty whole{name, index, PropertyForm::colour, 0, nullptr};
    whole.param = gst_param_spec_array(
        name.c_str(), c.label().c_str(),
        (blurb(c, "colour") + ": <red, green, blue, alpha>, each 0 to 1 (alpha may be left off)").c_str(),
        g_param_spec_double("channel", "Channel", "One channel of the colour", 0.0, 1.0, 1.0, G_PARAM_READWRITE),
        colour_flags);
    out.push_back(whole);
    for (int k = 0; k < 4; ++k) {
        const std::string which = channel_names[static_cast<std::size_t>(k)];
        const std::string channel = name + "-" + which;
        const std::string text = "The " + which + " channel of the \"" + c.label() + "\" colour, 0 to 1";
        ControlProperty p{channel, index, PropertyForm::colour_channel, k, nullptr};
        p.param = g_param_spec_double(channel.c_str(), (c.label() + " " + which).c_str(), text.c_str(), 0.0, 1.0,
                                      c.default_rgba[k], control_flags);
        out.push_back(p);
    }
}

}  // namespace

std::string property_name(const std::string& label)
{
    std::string out;
    bool after_small = false;  // the previous character was a small letter or a digit
    for (const char ch : label) {
        const auto u = static_cast<unsigned char>(ch);
        if (std::isalnum(u) == 0) {
            if (!out.empty() && out.back() != '-') out += '-';
            after_small = false;
            continue;
        }
        if (std::isupper(u) != 0 && after_small) out += '-';
        out += static_cast<char>(std::tolower(u));
        after_small = std::islower(u) != 0 || std::isdigit(u) != 0;
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

std::vector<ControlProperty> control_properties(const FXNode& node)
{
    std::vector<ControlProperty> out;
    std::set<std::string> taken;
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c == nullptr || c->kind() == ControlKind::label) continue;
        const std::string name = property_name(trellin_app::setting_label(*c));
        if (!g_param_spec_is_valid_name(name.c_str()) || !taken.insert(name).second) continue;
        ControlProperty p{name, i, PropertyForm::number, 0, nullptr};
        switch (c->kind()) {
        case ControlKind::numeric:
            p.param = numeric_param(name, static_cast<const CNumeric&>(*c), p.form);
            break;
        case ControlKind::boolean:
            p.form = PropertyForm::switch_;
            p.param = g_param_spec_boolean(name.c_str(), c->label().c_str(), blurb(*c, "switch").c_str(),
                                           static_cast<const CBoolean&>(*c).default_state, control_flags);
            break;
        case ControlKind::option: {
            const auto& option = static_cast<const COption&>(*c);
            p.form = PropertyForm::choice;
            p.param = g_param_spec_enum(name.c_str(), option.short_label().c_str(), blurb(*c, "option").c_str(),
                                        choice_type(option), option.default_index, control_flags);
            break;
        }
        case ControlKind::color:
            colour_properties(name, i, static_cast<const CColor&>(*c), out);
            continue;
        case ControlKind::label:
            continue;
        }
        out.push_back(p);
    }
    return out;
}

void read_property(const FXNode& node, const ControlProperty& p, GValue* value)
{
    const CWidget* c = node.control(p.control_index);
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    c->get_values(v);
    switch (p.form) {
    case PropertyForm::number:
        g_value_set_double(value, v[0]);
        break;
    case PropertyForm::whole_number:
        g_value_set_int(value, static_cast<gint>(std::lround(v[0])));
        break;
    case PropertyForm::switch_:
        g_value_set_boolean(value, v[0] != 0.0);
        break;
    case PropertyForm::choice:
        g_value_set_enum(value, static_cast<gint>(v[0]));
        break;
    case PropertyForm::colour:
        for (const double channel : v) {
            GValue item = G_VALUE_INIT;
            g_value_init(&item, G_TYPE_DOUBLE);
            g_value_set_double(&item, channel);
            gst_value_array_append_and_take_value(value, &item);
        }
        break;
    case PropertyForm::colour_channel:
        g_value_set_double(value, v[p.channel]);
        break;
    }
}

std::string write_property(FXNode& node, const ControlProperty& p, const GValue* value)
{
    CWidget* c = node.control(p.control_index);
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    c->get_values(v);
    switch (p.form) {
    case PropertyForm::number:
        v[0] = g_value_get_double(value);
        // A NaN passes GLib's range check.
        if (std::isnan(v[0])) return "not a number";
        break;
    case PropertyForm::whole_number:
        v[0] = g_value_get_int(value);
        break;
    case PropertyForm::switch_:
        v[0] = g_value_get_boolean(value) ? 1.0 : 0.0;
        break;
    case PropertyForm::choice:
        v[0] = g_value_get_enum(value);
        break;
    case PropertyForm::colour: {
        const guint n = gst_value_array_get_size(value);
        if (n != 3 && n != 4) return "expected <red, green, blue, alpha>, each 0 to 1";
        v[3] = 1.0;
        for (guint k = 0; k < n; ++k) {
            const GValue* item = gst_value_array_get_value(value, k);
            if (!G_VALUE_HOLDS_DOUBLE(item)) return "colour channel " + std::to_string(k + 1) + " is not a number";
            const double channel = g_value_get_double(item);
            if (!(channel >= 0.0 && channel <= 1.0))
                return "colour channel " + std::to_string(k + 1) + " out of range (0 to 1)";
            v[k] = channel;
        }
        break;
    }
    case PropertyForm::colour_channel:
        v[p.channel] = g_value_get_double(value);
        if (std::isnan(v[p.channel])) return "not a number";
        break;
    }
    c->set_values(v);
    c->clear_keys();
    return {};
}

}  // namespace trellin_gst
