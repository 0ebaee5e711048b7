#include "apps/trellin-view/control_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

#include "apps/common/control_text.h"
#include "apps/trellin-view/control_edit.h"

namespace trellin_view {

namespace {

void show_tooltip(const CWidget& control)
{
    if (!ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled)) return;
    const std::string range = trellin_app::range_text(control);
    const std::string step = trellin_app::step_text(control);
    ImGui::BeginTooltip();
    ImGui::TextUnformatted(trellin_app::setting_label(control).c_str());
    if (!range.empty()) ImGui::Text("values: %s", range.c_str());
    if (!step.empty()) ImGui::Text("step: %s", step.c_str());
    if (!control.keys().empty()) ImGui::Text("animated: %zu keys (edits key frame 0)", control.keys().size());
    if (control.is_disabled()) ImGui::TextUnformatted("unavailable");
    ImGui::EndTooltip();
}

bool draw_numeric(CNumeric& n)
{
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", step_decimals(n.step));
    double v = n.value;
    const double lo = n.minimum;
    const double hi = n.maximum;
    if (!ImGui::SliderScalar("##value", ImGuiDataType_Double, &v, &lo, &hi, format, ImGuiSliderFlags_AlwaysClamp))
        return false;
    const double snapped = snap_to_step(n, v);
    if (snapped == n.value) return false;
    n.value = snapped;
    return true;
}

bool draw_option(COption& o)
{
    const std::vector<std::string>& items = o.items();
    const bool valid = o.index >= 0 && std::size_t(o.index) < items.size();
    bool changed = false;
    if (ImGui::BeginCombo("##value", valid ? items[std::size_t(o.index)].c_str() : "?")) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const bool selected = int(i) == o.index;
            if (ImGui::Selectable(items[i].c_str(), selected) && !selected) {
                o.index = int(i);
                changed = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    return changed;
}

bool draw_colour(CColor& c)
{
    float rgba[4];
    for (int i = 0; i < 4; ++i) rgba[i] = static_cast<float>(c.rgba[i]);
    const ImGuiColorEditFlags flags = ImGuiColorEditFlags_AlphaBar | ImGuiColorEditFlags_AlphaPreviewHalf |
                                      ImGuiColorEditFlags_Float | ImGuiColorEditFlags_NoLabel;
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x);
    const bool edited = ImGui::ColorEdit4("##value", rgba, flags | ImGuiColorEditFlags_NoInputs);
    ImGui::PopItemWidth();
    if (!edited) return false;
    bool changed = false;
    for (int i = 0; i < 4; ++i) {
        const double v = std::clamp(static_cast<double>(rgba[i]), 0.0, 1.0);
        if (v != c.rgba[i]) {
            c.rgba[i] = v;
            changed = true;
        }
    }
    return changed;
}

}  // namespace

ControlPanel::ControlPanel(FXNode& node)
{
    CPanel panel;
    node.layout_controls(&panel);
    placements_ = panel.placements();
    for (const CPanel::Placement& p : placements_) {
        const bool label = p.control == nullptr || p.control->kind() == ControlKind::label;
        items_.push_back(PanelItem{p.column, p.row, label});
    }
}

PanelMetrics ControlPanel::metrics(double width) const
{
    PanelMetrics m;
    m.width = width;
    const ImGuiStyle& style = ImGui::GetStyle();
    m.margin = style.WindowPadding.x;
    m.column_gap = style.ItemSpacing.x;
    m.row_gap = style.ItemSpacing.y * 2.0;
    m.control_row_height = ImGui::GetTextLineHeightWithSpacing() + ImGui::GetFrameHeight();
    m.label_row_height = ImGui::GetTextLineHeight();
    m.empty_row_height = style.ItemSpacing.y;
    return m;
}

double ControlPanel::height(double width) const
{
    return layout_panel(items_, metrics(width)).height + ImGui::GetFrameHeightWithSpacing();
}

namespace {

Rect last_item_rect()
{
    const ImVec2 lo = ImGui::GetItemRectMin();
    const ImVec2 hi = ImGui::GetItemRectMax();
    return Rect{lo.x, lo.y, double(hi.x) - lo.x, double(hi.y) - lo.y};
}

}  // namespace

bool ControlPanel::draw_control(CWidget& control, const Rect& cell, int id, Rect& drawn)
{
    ImGui::PushID(id);
    bool changed = false;
    const ControlKind kind = control.kind();
    const float x = static_cast<float>(cell.x);
    const float y = static_cast<float>(cell.y);
    ImGui::SetCursorScreenPos(ImVec2(x, y));
    if (kind == ControlKind::label) {
        ImGui::PushStyleColor(ImGuiCol_Text, ImGui::GetStyleColorVec4(ImGuiCol_PlotHistogram));
        ImGui::TextUnformatted(control.label().c_str());
        ImGui::PopStyleColor();
        drawn = last_item_rect();
        ImGui::PopID();
        return false;
    }
    // A caption line above the control, cut at the cell's edge (the tooltip
    // gives it whole).
    ImGui::PushClipRect(ImVec2(x, y), ImVec2(x + static_cast<float>(cell.width), y + ImGui::GetTextLineHeight()),
                        true);
    ImGui::BeginDisabled(control.is_disabled());
    ImGui::TextUnformatted(trellin_app::setting_label(control).c_str());
    ImGui::EndDisabled();
    ImGui::PopClipRect();
    ImGui::SetCursorScreenPos(ImVec2(x, y + ImGui::GetTextLineHeightWithSpacing()));
    ImGui::SetNextItemWidth(static_cast<float>(cell.width));
    ImGui::BeginDisabled(control.is_disabled());
    switch (kind) {
    case ControlKind::numeric: changed = draw_numeric(static_cast<CNumeric&>(control)); break;
    case ControlKind::boolean: {
        auto& b = static_cast<CBoolean&>(control);
        bool state = b.state;
        if (ImGui::Checkbox(state ? "on###value" : "off###value", &state)) {
            b.state = state;
            changed = true;
        }
        break;
    }
    case ControlKind::option: changed = draw_option(static_cast<COption&>(control)); break;
    case ControlKind::color: changed = draw_colour(static_cast<CColor&>(control)); break;
    case ControlKind::label: break;
    }
    ImGui::EndDisabled();
    drawn = last_item_rect();
    show_tooltip(control);
    ImGui::PopID();
    return changed;
}

std::vector<CWidget*> ControlPanel::draw(const Rect& area, const std::string& status)
{
    std::vector<CWidget*> changed;
    ImGui::SetNextWindowPos(ImVec2(static_cast<float>(area.x), static_cast<float>(area.y)));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(area.width), static_cast<float>(area.height)));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollbar |
                                   ImGuiWindowFlags_NoBringToFrontOnFocus;
    ImGui::Begin("controls", nullptr, flags);
    const PanelLayout layout = layout_panel(items_, metrics(area.width));
    drawn_.assign(placements_.size(), Drawn{});
    for (std::size_t i = 0; i < placements_.size(); ++i) {
        CWidget* control = placements_[i].control;
        drawn_[i].control = control;
        if (control == nullptr || !layout.shown[i] || control->is_hidden()) continue;
        Rect cell = layout.cells[i];
        cell.x += area.x;
        cell.y += area.y;
        if (draw_control(*control, cell, int(i), drawn_[i].rect)) changed.push_back(control);
        drawn_[i].shown = true;
    }
    ImGui::SetCursorScreenPos(
        ImVec2(static_cast<float>(area.x + ImGui::GetStyle().WindowPadding.x),
               static_cast<float>(area.y + layout.height)));
    ImGui::Separator();
    ImGui::TextUnformatted(status.c_str());
    ImGui::End();
    return changed;
}

}  // namespace trellin_view
