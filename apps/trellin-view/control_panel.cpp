#include "apps/trellin-view/control_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_text.h"
#include "apps/trellin-view/cell_angle_note.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/ui_style.h"

namespace trellin_view {

namespace {

double text_width(const std::string& text)
{
    return ImGui::CalcTextSize(text.c_str()).x;
}

// The key diamond beside a caption: its size and the room it takes.
double marker_size()
{
    return std::round(ImGui::GetTextLineHeight() * 0.6);
}
double marker_room()
{
    return marker_size() + ImGui::GetStyle().ItemInnerSpacing.x;
}

// A number shown to as many decimals as the control's step has.
std::string value_format(const trellin_app::ControlFact& f)
{
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", step_decimals(f.step));
    return format;
}

std::string numeric_text(const trellin_app::ControlFact& f, double v)
{
    char text[64];
    std::snprintf(text, sizeof text, value_format(f).c_str(), v);
    return text;
}

// The room an option's drop-down leaves for its item's name.
double option_text_room(double width)
{
    return width - 2.0 * ImGui::GetStyle().FramePadding.x - ImGui::GetFrameHeight();
}

// `note`: a line more about the control as things stand (empty: none).
void show_tooltip(const CWidget& control, const trellin_app::ControlFact& fact, double time, const std::string& note)
{
    if (!ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled)) return;
    const std::string range = trellin_app::range_text(control);
    const std::string step = trellin_app::step_text(control);
    ImGui::BeginTooltip();
    ImGui::TextUnformatted(fact.label.c_str());
    if (!fact.meaning.empty()) ImGui::TextUnformatted(fact.meaning.c_str());
    if (!note.empty()) ImGui::TextUnformatted(note.c_str());
    if (!range.empty()) ImGui::Text("values: %s", range.c_str());
    if (!step.empty()) ImGui::Text("step: %s", step.c_str());
    if (!control.keys().empty())
        ImGui::Text("animated: %zu keys, %s this frame", control.keys().size(),
                    has_key_at(control, time) ? "one at" : "none at");
    if (control.is_disabled())
        ImGui::TextUnformatted("unavailable");
    else
        ImGui::TextUnformatted("right-click: set, delete or clear keys");
    ImGui::EndTooltip();
}

bool draw_numeric(CNumeric& n, const trellin_app::ControlFact& fact)
{
    double v = n.value;
    const double lo = fact.minimum;
    const double hi = fact.maximum;
    if (!ImGui::SliderScalar("##value", ImGuiDataType_Double, &v, &lo, &hi, value_format(fact).c_str(),
                             ImGuiSliderFlags_AlwaysClamp))
        return false;
    // Pressed but not yet dragged: a click that selects the control, not a
    // value where it was clicked.
    if (ImGui::IsItemActive() && ImGui::IsMouseDown(ImGuiMouseButton_Left) &&
        !ImGui::IsMouseDragging(ImGuiMouseButton_Left))
        return false;
    const double snapped = snap_to_step(n, v);
    if (snapped == n.value) return false;
    n.value = snapped;
    return true;
}

bool draw_option(COption& o, const trellin_app::ControlFact& fact)
{
    const std::vector<std::string>& items = fact.items;
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
    // No options menu of its own: right-click is the keys' menu.
    const ImGuiColorEditFlags flags = ImGuiColorEditFlags_AlphaBar | ImGuiColorEditFlags_AlphaPreviewHalf |
                                      ImGuiColorEditFlags_Float | ImGuiColorEditFlags_NoLabel |
                                      ImGuiColorEditFlags_NoOptions;
    const bool edited = ImGui::ColorEdit4("##value", rgba, flags | ImGuiColorEditFlags_NoInputs);
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

bool draw_boolean(CBoolean& b)
{
    bool state = b.state;
    if (!ImGui::Checkbox(state ? "on###value" : "off###value", &state)) return false;
    b.state = state;
    return true;
}

// A diamond centred at (x, y): filled, or outlined.
void draw_key_marker(ImDrawList* list, float x, float y, float size, bool filled)
{
    const float r = size * 0.5f;
    const ImVec2 p[4] = {ImVec2(x, y - r), ImVec2(x + r, y), ImVec2(x, y + r), ImVec2(x - r, y)};
    const ImU32 colour = IM_COL32(240, 190, 60, 255);
    if (filled)
        list->AddQuadFilled(p[0], p[1], p[2], p[3], colour);
    else
        list->AddQuad(p[0], p[1], p[2], p[3], colour, 1.5f);
}

void key_menu(CWidget& control, double time, ControlPanel::Input& input)
{
    if (!ImGui::BeginPopupContextItem("keys")) return;
    using Kind = ControlPanel::KeyAction::Kind;
    char text[96];
    ImGui::TextDisabled("%s", trellin_app::setting_label(control).c_str());
    std::snprintf(text, sizeof text, "Set key at frame %.0f", time);
    if (ImGui::MenuItem(text)) input.key_actions.push_back({Kind::set, &control});
    std::snprintf(text, sizeof text, "Delete key at frame %.0f", time);
    if (ImGui::MenuItem(text, nullptr, false, has_key_at(control, time)))
        input.key_actions.push_back({Kind::remove, &control});
    std::snprintf(text, sizeof text, "Clear all keys (%zu)", control.keys().size());
    if (ImGui::MenuItem(text, nullptr, false, !control.keys().empty()))
        input.key_actions.push_back({Kind::clear, &control});
    ImGui::EndPopup();
}

Rect last_item_rect()
{
    const ImVec2 lo = ImGui::GetItemRectMin();
    const ImVec2 hi = ImGui::GetItemRectMax();
    return Rect{lo.x, lo.y, double(hi.x) - lo.x, double(hi.y) - lo.y};
}

}  // namespace

ControlPanel::ControlPanel(FXNode& node) : node_(&node), facts_(trellin_app::control_facts(node))
{
    for (const trellin_app::PanelPlace& p : facts_.places) items_.push_back(PanelItem{p.column, p.row, p.fact < 0, 1});
}

const trellin_app::ControlFact* ControlPanel::fact_at(std::size_t i) const
{
    const int f = facts_.places[i].fact;
    return f < 0 ? nullptr : &facts_.controls[std::size_t(f)];
}

double ControlPanel::min_column_width() const
{
    const ImGuiStyle& style = ImGui::GetStyle();
    double widest = 40.0;
    for (std::size_t i = 0; i < facts_.places.size(); ++i) {
        const trellin_app::ControlFact* f = fact_at(i);
        if (f == nullptr) {
            widest = std::max(widest, text_width(node_->control(facts_.places[i].control)->label()));
            continue;
        }
        widest = std::max(widest, widest_word(f->label, text_width) + marker_room());
        switch (f->form) {
        case trellin_app::ControlForm::choice:
            for (const std::string& item : f->items)
                widest = std::max(widest, text_width(item) + 2.0 * style.FramePadding.x + ImGui::GetFrameHeight());
            break;
        case trellin_app::ControlForm::number:
        case trellin_app::ControlForm::whole_number: {
            const double text =
                std::max(text_width(numeric_text(*f, f->minimum)), text_width(numeric_text(*f, f->maximum)));
            widest = std::max(widest, text + 2.0 * style.FramePadding.x + 2.0 * style.GrabMinSize);
            break;
        }
        case trellin_app::ControlForm::switch_:
            widest = std::max(widest, ImGui::GetFrameHeight() + style.ItemInnerSpacing.x + text_width("off"));
            break;
        case trellin_app::ControlForm::colour:
            break;
        }
    }
    return std::ceil(widest);
}

double ControlPanel::caption_room(double column_width) const
{
    return column_width - marker_room();
}

PanelMetrics ControlPanel::metrics(double width) const
{
    PanelMetrics m;
    m.width = width;
    const ImGuiStyle& style = ImGui::GetStyle();
    m.margin = style.WindowPadding.x;
    m.column_gap = style.ItemSpacing.x;
    m.row_gap = style.ItemSpacing.y * 2.0;
    m.line_height = ImGui::GetTextLineHeight();
    m.caption_gap = style.ItemInnerSpacing.y;
    m.control_height = ImGui::GetFrameHeight();
    m.empty_row_height = style.ItemSpacing.y;
    m.min_column_width = min_column_width();
    return m;
}

std::vector<PanelItem> ControlPanel::items_for(PanelMetrics& m) const
{
    // Groups that do not fit side by side go below one another.
    std::vector<PanelItem> items = m.width > 0.0 ? wrap_groups(items_, m) : items_;
    const double room = caption_room(panel_column_width(items, m));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const trellin_app::ControlFact* f = fact_at(i);
        if (f == nullptr || items[i].is_label) continue;
        items[i].caption_lines = int(wrap_words(f->label, room, text_width).size());
    }
    return items;
}

double ControlPanel::height(double width) const
{
    PanelMetrics m = metrics(width);
    const std::vector<PanelItem> items = items_for(m);
    const PanelLayout layout = layout_panel(items, m);
    return layout.height + (layout.width > width ? double(ImGui::GetStyle().ScrollbarSize) : 0.0);
}

double ControlPanel::natural_width() const
{
    PanelMetrics m = metrics(0.0);
    const std::vector<PanelItem> items = items_for(m);
    return std::ceil(layout_panel(items, m).width);
}

bool ControlPanel::draw_control(CWidget& control, const trellin_app::ControlFact* fact, const Rect& cell,
                                double control_offset, int id, double time, Drawn& drawn, Input& input)
{
    ImGui::PushID(id);
    bool changed = false;
    const ControlKind kind = control.kind();
    const auto at = [&](double dx, double dy) {
        ImGui::SetCursorPos(ImVec2(static_cast<float>(cell.x + dx), static_cast<float>(cell.y + dy)));
    };
    at(0.0, 0.0);
    if (fact == nullptr) {
        ImGui::PushStyleColor(ImGuiCol_Text, ImGui::GetStyleColorVec4(ImGuiCol_PlotHistogram));
        ImGui::TextUnformatted(control.label().c_str());
        ImGui::PopStyleColor();
        drawn.rect = last_item_rect();
        drawn.texts.push_back({control.label(), text_width(control.label()), cell.width});
        ImGui::PopID();
        return false;
    }

    // The caption, wrapped between words, with the key marker at the right
    // of its first line.
    const double room = caption_room(cell.width);
    const double line = ImGui::GetTextLineHeight();
    const std::vector<std::string> lines = wrap_words(fact->label, room, text_width);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::BeginDisabled(control.is_disabled());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        at(0.0, double(i) * line);
        ImGui::TextUnformatted(lines[i].c_str());
        drawn.texts.push_back({lines[i], text_width(lines[i]), room});
    }
    drawn.caption = lines;
    ImGui::EndDisabled();
    if (!control.keys().empty()) {
        const float size = static_cast<float>(marker_size());
        draw_key_marker(ImGui::GetWindowDrawList(), origin.x + static_cast<float>(cell.width) - size * 0.5f,
                        origin.y + static_cast<float>(line * 0.5), size, has_key_at(control, time));
    }

    at(0.0, control_offset);
    ImGui::SetNextItemWidth(static_cast<float>(cell.width));
    ImGui::BeginDisabled(control.is_disabled());
    switch (kind) {
    case ControlKind::numeric: {
        auto& n = static_cast<CNumeric&>(control);
        changed = draw_numeric(n, *fact);
        const std::string text = numeric_text(*fact, n.value);
        drawn.texts.push_back({text, text_width(text), cell.width - 2.0 * ImGui::GetStyle().FramePadding.x});
        break;
    }
    case ControlKind::boolean:
        changed = draw_boolean(static_cast<CBoolean&>(control));
        break;
    case ControlKind::option: {
        auto& o = static_cast<COption&>(control);
        changed = draw_option(o, *fact);
        for (const std::string& item : fact->items)
            drawn.texts.push_back({item, text_width(item), option_text_room(cell.width)});
        break;
    }
    case ControlKind::color:
        changed = draw_colour(static_cast<CColor&>(control));
        break;
    case ControlKind::label:
        break;
    }
    ImGui::EndDisabled();
    drawn.rect = last_item_rect();
    if (ImGui::IsItemActivated()) input.selected = &control;
    show_tooltip(control, *fact, time, fact->label == "Cell Angle" ? cell_angle_note(*node_) : std::string());
    key_menu(control, time, input);
    ImGui::PopID();
    return changed;
}

ControlPanel::Input ControlPanel::draw(const Rect& area, double time)
{
    Input input;
    PanelMetrics m = metrics(area.width);
    const std::vector<PanelItem> items = items_for(m);
    const PanelLayout layout = layout_panel(items, m);

    ImGui::SetNextWindowContentSize(ImVec2(static_cast<float>(layout.width), static_cast<float>(layout.height)));
    // The layout holds the margins itself.
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0.0f, 0.0f));
    begin_fixed_window("controls", area, ImGuiWindowFlags_HorizontalScrollbar);
    ImGui::PopStyleVar();
    drawn_.assign(facts_.places.size(), Drawn{});
    for (std::size_t i = 0; i < facts_.places.size(); ++i) {
        CWidget* control = node_->control(facts_.places[i].control);
        drawn_[i].control = control;
        if (control == nullptr || !layout.shown[i] || control->is_hidden()) continue;
        if (draw_control(*control, fact_at(i), layout.cells[i], layout.control_offsets[i], int(i), time, drawn_[i],
                         input))
            input.changed.push_back(control);
        drawn_[i].shown = true;
    }
    // A slider dragged, a value typed, a colour picked in the picker's popup.
    input.active = ImGui::IsAnyItemActive();
    ImGui::End();
    return input;
}

}  // namespace trellin_view
