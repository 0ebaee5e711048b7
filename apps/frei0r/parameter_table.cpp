#include "apps/frei0r/parameter_table.h"

#include "apps/frei0r/frei0r_api.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_text.h"

namespace trellin_frei0r {

namespace {

using trellin_app::number_text;

std::string lower(const char* text)
{
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

std::string explanation_of(const trellin_app::ControlFact& f)
{
    using trellin_app::ControlForm;
    switch (f.form) {
    case ControlForm::number:
    case ControlForm::whole_number: {
        const std::string lo = number_text(f.minimum), hi = number_text(f.maximum);
        return std::string(f.form == ControlForm::whole_number ? "Whole numbers " : "") + lo + " to " + hi +
               " (0 gives " + lo + ", 1 gives " + hi + "); default " + number_text(f.fallback[0]);
    }
    case ControlForm::switch_:
        return std::string("On or off; default ") + (f.fallback[0] != 0.0 ? "on" : "off");
    case ControlForm::choice: {
        std::string names;
        for (std::size_t i = 0; i < f.items.size(); ++i) {
            if (i > 0) names += i + 1 == f.items.size() ? " or " : ", ";
            names += f.items[i];
        }
        const std::string fallback =
            f.items.empty() ? "" : "; default " + f.items[static_cast<std::size_t>(f.fallback[0])];
        return "One of " + names + fallback;
    }
    case ControlForm::colour:
        return "Red, green and blue 0 to 1 (alpha is always 1); default " + number_text(f.fallback[0]) + ", " +
               number_text(f.fallback[1]) + ", " + number_text(f.fallback[2]);
    }
    return {};
}

int frei0r_type_of(trellin_app::ControlForm form)
{
    switch (form) {
    case trellin_app::ControlForm::switch_:
        return F0R_PARAM_BOOL;
    case trellin_app::ControlForm::choice:
        return F0R_PARAM_STRING;
    case trellin_app::ControlForm::colour:
        return F0R_PARAM_COLOR;
    default:
        return F0R_PARAM_DOUBLE;
    }
}

}  // namespace

std::vector<Parameter> parameters_of(FXNode& node)
{
    const trellin_app::ControlFacts facts = trellin_app::control_facts(node);
    // The placed controls in the panel's reading order: row 0 from column 0,
    // then the rows below.
    std::vector<const trellin_app::ControlFact*> placed;
    for (const trellin_app::ControlFact& f : facts.controls)
        if (f.column >= 0) placed.push_back(&f);
    std::stable_sort(placed.begin(), placed.end(), [](const auto* a, const auto* b) {
        return a->row != b->row ? a->row < b->row : a->column < b->column;
    });

    std::vector<Parameter> params;
    for (const trellin_app::ControlFact* f : placed) {
        Parameter p;
        p.control_index = f->control;
        p.kind = node.control(f->control)->kind();
        p.frei0r_type = frei0r_type_of(f->form);
        p.name = f->label;
        p.explanation = explanation_of(*f);
        if (p.kind == ControlKind::numeric) {
            p.minimum = f->minimum;
            p.maximum = f->maximum;
        }
        p.whole_numbers = f->form == trellin_app::ControlForm::whole_number;
        p.items = f->items;
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
