#include "apps/common/core/control_facts.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <map>

#include "apps/common/core/control_text.h"
#include "host/text_match.h"

namespace trellin_app {

namespace {

struct Description {
    const char* label;
    const char* title;
    const char* meaning;
};

// clang-format off
constexpr Description descriptions[] = {
    {"Black Height",   "Black Height",           "thickness at rims and between cells, in 1/100 of the picture"},
    {"White Height",   "White Height",           "thickness at cell centres; White - Black sets the slopes"},
    {"Index",          "Refractive Index",       "refractive index: 1 bends nothing, 1.5 is window glass"},
    {"Invert map",     "Invert Map",             "turns the domes into dents"},
    {"Edge",           "Edge",                   "beyond the border: repeat the edge, black, or wrap round"},
    {"Smoothing",      "Smoothing",              "softens the bends: slope distance in pixels at 720 wide"},
    {"ChromaticAb",    "Chromatic Aberration",   "colour split: R, G, B see glass 1, 2, 3 x this thicker"},
    {"Light Active",   "Light On",               "lights the glass (a highlight; Back Bright dims under it)"},
    {"Brightness",     "Light Brightness",       "strength of the highlight in percent; 0 turns the light off"},
    {"Light_X",        "Light X",                "light position, as a fraction of the width (may be outside)"},
    {"Light_Y",        "Light Y",                "light position, as a fraction of the height (may be outside)"},
    {"LightZ",         "Light Height",           "light height above the picture, as a fraction of the width"},
    {"Gloss",          "Gloss",                  "sharpness of the highlight: higher is smaller and harder"},
    {"Back Bright",    "Background Brightness",  "picture brightness in percent while the light is on"},
    {"Light",          "Light Colour",           "colour of the light (its alpha is not used)"},
    {"CellCurve",      "Cell Curve",             "dome profile: 1 round, <1 flat-topped, >1 pointed, 0 flat"},
    {"CellSize",       "Cell Size",              "cell radius = 0.2 x CellSize x picture width"},
    {"Cell Angle",     "Cell Angle",             "turns the grid about the Angle Centre, degrees clockwise"},
    {"Angle Centre_X", "Angle Centre X",         "pivot of the turn, as a fraction of the picture width"},
    {"Angle Centre_Y", "Angle Centre Y",         "pivot of the turn, as a fraction of the picture height"},
    {"Tweak_X",        "Grid Shift X",           "shifts the grid across: 0.6 moves it a tenth of the width"},
    {"Tweak_Y",        "Grid Shift Y",           "shifts the grid down: 0.6 moves it a tenth of the height"},
    {"ShowMap",        "Show Map",               "shows the cell map (domes in grey) instead of the picture"},
    {"CellShape",      "Cell Shape",             "shape of every glass cell"},
    {"Cell Count X",   "Cell Count X",           "number of cell columns, laid out from the picture centre"},
    {"Cell Count Y",   "Cell Count Y",           "number of cell rows, laid out from the picture centre"},
};
// clang-format on

// Sliders that span less than the control's range: the values people use lie
// in a small part of it.
struct SliderSpan {
    const char* label;
    double minimum;
    double maximum;
};
constexpr SliderSpan slider_spans[] = {
    {"Gloss", 1.0, 200.0},
};

const Description* described(std::string_view label)
{
    const std::string wanted(label.substr(0, label.find(':')));
    for (const Description& d : descriptions)
        if (host_detail::same_text_ignoring_case(d.label, wanted)) return &d;
    return nullptr;
}

bool whole_in_int(double v)
{
    return std::isfinite(v) && std::floor(v) == v && v >= INT_MIN && v <= INT_MAX;
}

ControlFact fact_of(const CWidget& c)
{
    ControlFact f;
    switch (c.kind()) {
    case ControlKind::numeric: {
        const auto& n = static_cast<const CNumeric&>(c);
        f.form = takes_whole_numbers(n) ? ControlForm::whole_number : ControlForm::number;
        f.minimum = n.minimum;
        f.maximum = n.maximum;
        f.step = n.step;
        f.display_minimum = n.minimum;
        f.display_maximum = n.maximum;
        for (const SliderSpan& span : slider_spans) {
            if (!host_detail::same_text_ignoring_case(span.label, c.label())) continue;
            f.display_minimum = std::clamp(span.minimum, n.minimum, n.maximum);
            f.display_maximum = std::clamp(span.maximum, f.display_minimum, n.maximum);
        }
        f.fallback[0] = n.default_value;
        break;
    }
    case ControlKind::boolean:
        f.form = ControlForm::switch_;
        f.fallback[0] = static_cast<const CBoolean&>(c).default_state ? 1.0 : 0.0;
        break;
    case ControlKind::option: {
        const auto& option = static_cast<const COption&>(c);
        f.form = ControlForm::choice;
        f.items = option.items();
        f.fallback[0] = std::clamp(option.default_index, 0, std::max(0, static_cast<int>(f.items.size()) - 1));
        break;
    }
    case ControlKind::color: {
        const auto& colour = static_cast<const CColor&>(c);
        f.form = ControlForm::colour;
        for (int k = 0; k < 4; ++k) f.fallback[k] = colour.default_rgba[k];
        break;
    }
    case ControlKind::label:
        break;
    }
    f.label = setting_label(c);
    f.title = control_title(f.label);
    f.meaning = control_meaning(f.label);
    return f;
}

}  // namespace

bool takes_whole_numbers(const CNumeric& c)
{
    return c.step == 1.0 && whole_in_int(c.minimum) && whole_in_int(c.maximum);
}

std::string control_meaning(std::string_view label)
{
    const Description* d = described(label);
    return d != nullptr ? d->meaning : "";
}

std::string control_title(std::string_view label)
{
    const Description* d = described(label);
    return d != nullptr ? d->title : std::string(label.substr(0, label.find(':')));
}

std::vector<std::string> described_labels()
{
    std::vector<std::string> labels;
    for (const Description& d : descriptions) labels.emplace_back(d.label);
    return labels;
}

const ControlFact* ControlFacts::find(std::string_view label) const
{
    for (const ControlFact& f : controls)
        if (host_detail::same_text_ignoring_case(f.label, std::string(label))) return &f;
    return nullptr;
}

ControlFacts control_facts(FXNode& node)
{
    ControlFacts facts;
    std::map<const CWidget*, std::size_t> fact_of_widget;
    std::map<const CWidget*, int> index_of_widget;
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c != nullptr) index_of_widget.emplace(c, i);
        if (c == nullptr || c->kind() == ControlKind::label) continue;
        ControlFact f = fact_of(*c);
        f.control = i;
        fact_of_widget.emplace(c, facts.controls.size());
        facts.controls.push_back(std::move(f));
    }

    // The panel: each control's first place; a label heads the columns from
    // its own up to the next label's.
    CPanel panel;
    node.layout_controls(&panel);
    std::vector<std::pair<int, std::string>> heads;
    for (const CPanel::Placement& place : panel.placements()) {
        if (place.control == nullptr) continue;
        const auto index = index_of_widget.find(place.control);
        if (index != index_of_widget.end()) {
            const auto fact = fact_of_widget.find(place.control);
            facts.places.push_back({index->second, fact == fact_of_widget.end() ? -1 : static_cast<int>(fact->second),
                                    place.column, place.row});
        }
        if (place.control->kind() == ControlKind::label) {
            if (std::none_of(heads.begin(), heads.end(),
                             [&](const auto& h) { return h.second == place.control->label(); }))
                heads.emplace_back(place.column, place.control->label());
            continue;
        }
        const auto found = fact_of_widget.find(place.control);
        if (found == fact_of_widget.end() || facts.controls[found->second].column >= 0) continue;
        facts.controls[found->second].column = place.column;
        facts.controls[found->second].row = place.row;
    }
    std::stable_sort(heads.begin(), heads.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& head : heads) facts.groups.push_back(head.second);
    for (ControlFact& f : facts.controls) {
        if (f.column < 0) continue;
        for (const auto& head : heads)
            if (head.first <= f.column) f.group = head.second;
    }

    // Positions: an "_X" number and its "_Y" partner.
    for (std::size_t i = 0; i < facts.controls.size(); ++i) {
        ControlFact& x = facts.controls[i];
        if (x.form != ControlForm::number || x.label.size() <= 2 || !x.label.ends_with("_X")) continue;
        const ControlFact* y = facts.find(x.label.substr(0, x.label.size() - 2) + "_Y");
        if (y == nullptr || y->form != ControlForm::number || y->partner >= 0) continue;
        const auto yi = static_cast<std::size_t>(y - facts.controls.data());
        x.partner = static_cast<int>(yi);
        facts.controls[yi].partner = static_cast<int>(i);
    }
    return facts;
}

}  // namespace trellin_app
