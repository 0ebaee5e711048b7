#include "apps/frei0r/parameter_table.h"

#include "apps/frei0r/frei0r_api.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "apps/common/core/control_text.h"

namespace trellin_frei0r {

namespace {

using trellin_app::number_text;

bool is_whole(double v)
{
    return std::isfinite(v) && std::floor(v) == v;
}

std::string lower(const char* text)
{
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

Parameter numeric_parameter(const CNumeric& c)
{
    Parameter p;
    p.kind = ControlKind::numeric;
    p.frei0r_type = F0R_PARAM_DOUBLE;
    p.name = c.label();
    p.minimum = c.minimum;
    p.maximum = c.maximum;
    p.whole_numbers = c.step == 1.0 && is_whole(c.minimum) && is_whole(c.maximum);
    const std::string lo = number_text(c.minimum), hi = number_text(c.maximum);
    p.explanation = std::string(p.whole_numbers ? "Whole numbers " : "") + lo + " to " + hi + " (0 gives " + lo +
                    ", 1 gives " + hi + "); default " + number_text(c.default_value);
    return p;
}

Parameter boolean_parameter(const CBoolean& c)
{
    Parameter p;
    p.kind = ControlKind::boolean;
    p.frei0r_type = F0R_PARAM_BOOL;
    p.name = c.label();
    p.explanation = std::string("On or off; default ") + (c.default_state ? "on" : "off");
    return p;
}

Parameter option_parameter(const COption& c)
{
    Parameter p;
    p.kind = ControlKind::option;
    p.frei0r_type = F0R_PARAM_STRING;
    p.name = c.short_label();
    p.items = c.items();
    std::string names;
    for (std::size_t i = 0; i < p.items.size(); ++i) {
        if (i > 0) names += i + 1 == p.items.size() ? " or " : ", ";
        names += p.items[i];
    }
    const int d = c.default_index;
    const bool has_default = d >= 0 && static_cast<std::size_t>(d) < p.items.size();
    p.explanation = "One of " + names + (has_default ? "; default " + p.items[static_cast<std::size_t>(d)] : "");
    return p;
}

Parameter colour_parameter(const CColor& c)
{
    Parameter p;
    p.kind = ControlKind::color;
    p.frei0r_type = F0R_PARAM_COLOR;
    p.name = c.label();
    p.explanation = "Red, green and blue 0 to 1 (alpha is always 1); default " + number_text(c.default_rgba[0]) + ", " +
                    number_text(c.default_rgba[1]) + ", " + number_text(c.default_rgba[2]);
    return p;
}

}  // namespace

std::vector<Parameter> parameters_of(FXNode& node)
{
    CPanel panel;
    node.layout_controls(&panel);
    std::vector<CPanel::Placement> places = panel.placements();
    std::stable_sort(places.begin(), places.end(), [](const CPanel::Placement& a, const CPanel::Placement& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });

    std::vector<Parameter> params;
    std::vector<bool> taken(static_cast<std::size_t>(std::max(node.num_controls(), 0)), false);
    for (const CPanel::Placement& place : places) {
        int index = -1;
        for (int i = 0; i < node.num_controls(); ++i) {
            if (node.control(i) == place.control) {
                index = i;
                break;
            }
        }
        if (index < 0 || taken[static_cast<std::size_t>(index)]) continue;
        taken[static_cast<std::size_t>(index)] = true;

        const CWidget& c = *place.control;
        Parameter p;
        switch (c.kind()) {
        case ControlKind::numeric:
            p = numeric_parameter(static_cast<const CNumeric&>(c));
            break;
        case ControlKind::boolean:
            p = boolean_parameter(static_cast<const CBoolean&>(c));
            break;
        case ControlKind::option:
            p = option_parameter(static_cast<const COption&>(c));
            break;
        case ControlKind::color:
            p = colour_parameter(static_cast<const CColor&>(c));
            break;
        case ControlKind::label:
            continue;
        }
        p.control_index = index;
        params.push_back(std::move(p));
    }
    return params;
}

double clamp_unit(double unit)
{
    return unit < 0.0 ? 0.0 : unit > 1.0 ? 1.0 : unit;
}

double control_value(const Parameter& p, double unit)
{
    const double u = clamp_unit(unit);
    double v = (1.0 - u) * p.minimum + u * p.maximum;
    if (p.whole_numbers) v = std::round(v);
    // Rounding in the blend must not leave the range.
    if (v < p.minimum) v = p.minimum;
    if (v > p.maximum) v = p.maximum;
    return v;
}

double unit_value(const Parameter& p, double control_value)
{
    if (!(p.maximum > p.minimum)) return 0.0;
    return clamp_unit((control_value - p.minimum) / (p.maximum - p.minimum));
}

int item_index(const Parameter& p, const char* name)
{
    if (name == nullptr) return -1;
    const std::string wanted = lower(name);
    for (std::size_t i = 0; i < p.items.size(); ++i) {
        if (lower(p.items[i].c_str()) == wanted) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace trellin_frei0r
