#include "apps/ofx/parameter_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "apps/common/core/control_meaning.h"
#include "apps/common/core/control_text.h"

namespace trellin_ofx {

namespace {

bool is_whole(double v)
{
    return std::isfinite(v) && std::floor(v) == v;
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Places of the controls on the panel, by control index; labels apart.
struct Placed {
    int control;
    int column;
    int row;
};

// Digits a value of this step needs after the point: 0.01 gives 2, 0.005 gives 3.
int digits_for(double step)
{
    if (!(step > 0.0) || step >= 1.0) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

Parameter numeric_parameter(const CNumeric& c)
{
    Parameter p;
    const bool whole = c.step == 1.0 && is_whole(c.minimum) && is_whole(c.maximum);
    p.kind = whole ? ParamKind::integer : ParamKind::real;
    p.minimum[0] = c.minimum;
    p.maximum[0] = c.maximum;
    p.fallback[0] = c.default_value;
    p.step = c.step;
    p.digits = digits_for(c.step);
    p.angle = c.label().find("Angle") != std::string::npos;
    return p;
}

Parameter parameter_for(const CWidget& c)
{
    Parameter p;
    switch (c.kind()) {
    case ControlKind::numeric:
        p = numeric_parameter(static_cast<const CNumeric&>(c));
        break;
    case ControlKind::boolean:
        p.kind = ParamKind::boolean;
        p.fallback[0] = static_cast<const CBoolean&>(c).default_state ? 1.0 : 0.0;
        break;
    case ControlKind::option: {
        const auto& option = static_cast<const COption&>(c);
        p.kind = ParamKind::choice;
        p.items = option.items();
        p.fallback[0] = std::clamp(option.default_index, 0, std::max(0, static_cast<int>(p.items.size()) - 1));
        break;
    }
    case ControlKind::color: {
        const auto& colour = static_cast<const CColor&>(c);
        p.kind = ParamKind::colour;
        for (int k = 0; k < 4; ++k) p.fallback[k] = colour.default_rgba[k];
        break;
    }
    case ControlKind::label:
        break;
    }
    p.label = trellin_app::setting_label(c);
    p.hint = trellin_app::control_meaning(p.label);
    return p;
}

}  // namespace

std::string parameter_name(const std::string& label)
{
    std::string name;
    bool word_start = true;
    for (char ch : label) {
        const auto u = static_cast<unsigned char>(ch);
        if (std::isalnum(u) == 0) {
            word_start = true;
            continue;
        }
        name += word_start ? static_cast<char>(std::toupper(u)) : ch;
        word_start = false;
    }
    return name;
}

ParameterTable parameters_of(FXNode& node)
{
    CPanel panel;
    node.layout_controls(&panel);
    std::map<const CWidget*, int> index_of;
    for (int i = 0; i < node.num_controls(); ++i) index_of.emplace(node.control(i), i);

    // Labels head groups of columns; value controls are placed in them.
    std::vector<Placed> labels, values;
    std::set<int> seen;
    for (const CPanel::Placement& place : panel.placements()) {
        const auto found = index_of.find(place.control);
        if (found == index_of.end() || !seen.insert(found->second).second) continue;
        (place.control->kind() == ControlKind::label ? labels : values)
            .push_back({found->second, place.column, place.row});
    }
    std::sort(labels.begin(), labels.end(), [](const Placed& a, const Placed& b) { return a.column < b.column; });
    const auto group_of = [&labels](int column) {
        int group = -1;
        for (std::size_t g = 0; g < labels.size(); ++g)
            if (labels[g].column <= column) group = static_cast<int>(g);
        return group;
    };
    std::stable_sort(values.begin(), values.end(), [&group_of](const Placed& a, const Placed& b) {
        const int ga = group_of(a.column), gb = group_of(b.column);
        if (ga != gb) return ga < gb;
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });

    ParameterTable table;
    std::set<std::string> labels_used;
    for (const Placed& l : labels) {
        const std::string text = node.control(l.control)->label();
        table.groups.push_back({parameter_name(text) + "Group", text});
    }
    for (int i = 0; i < node.num_controls(); ++i) labels_used.insert(trellin_app::setting_label(*node.control(i)));

    std::set<int> taken;
    for (const Placed& v : values) {
        if (taken.count(v.control) != 0) continue;
        const CWidget& c = *node.control(v.control);
        Parameter p = parameter_for(c);
        p.control = v.control;
        taken.insert(v.control);
        // A crosshair's x control finds its y partner by label.
        if (c.kind() == ControlKind::numeric && ends_with(c.label(), "_X")) {
            const std::string base = c.label().substr(0, c.label().size() - 2);
            const CWidget* y = node.find_control(base + "_Y");
            const auto yi = y != nullptr ? index_of.find(y) : index_of.end();
            if (yi != index_of.end() && y->kind() == ControlKind::numeric && taken.count(yi->second) == 0) {
                const auto& cy = static_cast<const CNumeric&>(*y);
                p.kind = ParamKind::pair;
                p.control_y = yi->second;
                p.minimum[1] = cy.minimum;
                p.maximum[1] = cy.maximum;
                p.fallback[1] = cy.default_value;
                p.step = std::min(p.step, cy.step);
                p.angle = false;
                p.label = labels_used.count(base) != 0 ? base + " Position" : base;
                p.hint = "x: " + trellin_app::control_meaning(base + "_X") +
                         "; y: " + trellin_app::control_meaning(base + "_Y");
                taken.insert(yi->second);
            }
        }
        p.name = parameter_name(p.label);
        const int g = group_of(v.column);
        if (g >= 0) p.group = table.groups[static_cast<std::size_t>(g)].name;
        table.parameters.push_back(std::move(p));
    }
    return table;
}

void store_values(FXNode& node, const Parameter& p, const double* values)
{
    const auto store_numeric = [&node](int index, double v) {
        CWidget* w = index >= 0 && index < node.num_controls() ? node.control(index) : nullptr;
        if (w == nullptr || w->kind() != ControlKind::numeric || std::isnan(v)) return;
        auto& c = static_cast<CNumeric&>(*w);
        if (c.step == 1.0 && is_whole(c.minimum) && is_whole(c.maximum)) v = std::round(v);
        c.value = std::clamp(v, c.minimum, c.maximum);
    };
    CWidget* w = p.control >= 0 && p.control < node.num_controls() ? node.control(p.control) : nullptr;
    if (w == nullptr) return;
    switch (p.kind) {
    case ParamKind::real:
    case ParamKind::integer:
        store_numeric(p.control, values[0]);
        break;
    case ParamKind::pair:
        store_numeric(p.control, values[0]);
        store_numeric(p.control_y, values[1]);
        break;
    case ParamKind::boolean:
        if (w->kind() == ControlKind::boolean && !std::isnan(values[0]))
            static_cast<CBoolean&>(*w).state = values[0] != 0.0;
        break;
    case ParamKind::choice:
        if (w->kind() == ControlKind::option && !std::isnan(values[0])) {
            const double last = static_cast<double>(p.items.size()) - 1.0;
            const double item[1] = {std::clamp(std::round(values[0]), 0.0, std::max(0.0, last))};
            w->set_values(item);
        }
        break;
    case ParamKind::colour:
        if (w->kind() == ControlKind::color) {
            double rgba[4];
            w->get_values(rgba);
            for (int k = 0; k < 4; ++k)
                if (!std::isnan(values[k])) rgba[k] = std::clamp(values[k], 0.0, 1.0);
            w->set_values(rgba);
        }
        break;
    }
}

void load_values(const FXNode& node, const Parameter& p, double* values)
{
    const auto value_of = [&node](int index) {
        const CWidget* w = index >= 0 && index < node.num_controls() ? node.control(index) : nullptr;
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        if (w != nullptr) w->get_values(v);
        return v[0];
    };
    switch (p.kind) {
    case ParamKind::pair:
        values[0] = value_of(p.control);
        values[1] = value_of(p.control_y);
        break;
    case ParamKind::colour:
        if (const CWidget* w = node.control(p.control)) w->get_values(values);
        break;
    default:
        values[0] = value_of(p.control);
        break;
    }
}

}  // namespace trellin_ofx
