#include "apps/ofx/parameter_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <set>

#include "apps/common/core/control_facts.h"

namespace trellin_ofx {

namespace {

// Digits a value of this step needs after the point: 0.01 gives 2, 0.005 gives 3.
int digits_for(double step)
{
    if (!(step > 0.0) || step >= 1.0) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

Parameter parameter_from(const trellin_app::ControlFact& f)
{
    using trellin_app::ControlForm;
    Parameter p;
    switch (f.form) {
    case ControlForm::number:
    case ControlForm::whole_number:
        p.kind = f.form == ControlForm::whole_number ? ParamKind::integer : ParamKind::real;
        p.minimum[0] = f.minimum;
        p.maximum[0] = f.maximum;
        p.display_minimum[0] = f.display_minimum;
        p.display_maximum[0] = f.display_maximum;
        p.step = f.step;
        p.digits = digits_for(f.step);
        p.angle = f.label.find("Angle") != std::string::npos;
        break;
    case ControlForm::switch_:
        p.kind = ParamKind::boolean;
        break;
    case ControlForm::choice:
        p.kind = ParamKind::choice;
        p.items = f.items;
        break;
    case ControlForm::colour:
        p.kind = ParamKind::colour;
        break;
    }
    std::copy(std::begin(f.fallback), std::end(f.fallback), std::begin(p.fallback));
    p.label = f.title;
    p.hint = f.meaning;
    p.control = f.control;
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
    const trellin_app::ControlFacts facts = trellin_app::control_facts(node);
    ParameterTable table;
    for (const std::string& group : facts.groups) table.groups.push_back({parameter_name(group) + "Group", group});
    const auto group_index = [&facts](const trellin_app::ControlFact& f) {
        const auto g = std::find(facts.groups.begin(), facts.groups.end(), f.group);
        return g == facts.groups.end() ? -1 : static_cast<int>(g - facts.groups.begin());
    };

    // The placed controls by group, then in the panel's reading order.
    std::vector<const trellin_app::ControlFact*> placed;
    for (const trellin_app::ControlFact& f : facts.controls)
        if (f.column >= 0) placed.push_back(&f);
    std::stable_sort(placed.begin(), placed.end(), [&](const auto* a, const auto* b) {
        const int ga = group_index(*a), gb = group_index(*b);
        if (ga != gb) return ga < gb;
        return a->row != b->row ? a->row < b->row : a->column < b->column;
    });

    std::set<int> taken;
    for (const trellin_app::ControlFact* f : placed) {
        if (taken.count(f->control) != 0) continue;
        taken.insert(f->control);
        Parameter p = parameter_from(*f);
        // The name scripts and saved projects know the parameter by: the
        // control's label; a position's base label ("Light Position" where
        // a control is labelled "Light" already).
        std::string name_label = f->label;
        if (f->is_position_x()) {
            const trellin_app::ControlFact& y = facts.controls[static_cast<std::size_t>(f->partner)];
            if (taken.count(y.control) == 0) {
                const std::string base = f->label.substr(0, f->label.size() - 2);
                const bool base_taken = facts.find(base) != nullptr;
                name_label = base_taken ? base + " Position" : base;
                std::string title = f->title.ends_with(" X") ? f->title.substr(0, f->title.size() - 2) : base;
                if (facts.find(title) != nullptr) title += " Position";
                p.kind = ParamKind::pair;
                p.control_y = y.control;
                p.minimum[1] = y.minimum;
                p.maximum[1] = y.maximum;
                p.display_minimum[1] = y.display_minimum;
                p.display_maximum[1] = y.display_maximum;
                p.fallback[1] = y.fallback[0];
                p.step = std::min(p.step, y.step);
                p.angle = false;
                p.label = title;
                // The host shows the position in its own coordinates; the
                // meanings speak of the node's fractions, as the command
                // line sets them.
                p.hint = "A point on the picture, y up. As " + f->label + " and " + y.label +
                         ", from the top-left corner: x " + f->meaning + "; y " + y.meaning;
                taken.insert(y.control);
            }
        }
        p.name = parameter_name(name_label);
        const int g = group_index(*f);
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
        if (trellin_app::takes_whole_numbers(c)) v = std::round(v);
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
