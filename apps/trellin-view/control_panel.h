// The node's control panel drawn with Dear ImGui: the node places its
// controls on a host panel (`layout_controls`, read into the control facts,
// control_facts.h), and each placed control is drawn in its grid cell as
// what its fact says it is: a slider with the control's range and
// step, a checkbox, a drop-down list, a colour swatch that opens a colour
// picker, or a label. Controls the node has greyed out are drawn unavailable
// and take no input; hidden controls are not drawn.
//
// A plain click on a slider selects its control without changing it: the
// value follows the pointer once the pointer is dragged, or is typed after
// Ctrl+click or a double-click.
//
// Every caption reads whole: it wraps between words in its cell, columns are
// never narrower than the longest word or list item they show, and a grid
// wider than the window scrolls sideways. A control with keys shows a
// diamond beside its caption, filled when the frame shown holds one of its
// keys; right-clicking a control offers to set or delete its key at the
// frame shown, or to clear all its keys.
//
// The panel only edits host control values. Telling the node, and keying,
// is the caller's job: `draw` returns what the user did.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/control_facts.h"
#include "apps/trellin-view/control_edit.h"
#include "apps/trellin-view/panel_layout.h"
#include "contract/host_api.h"

namespace trellin_view {

class ControlPanel {
public:
    // Asks `node` to lay its controls out; the node must outlive the panel.
    // Needs a current ImGui context (for the font's metrics).
    explicit ControlPanel(FXNode& node);

    // Height of the panel for a window `width` wide (with a sideways scroll
    // bar when the grid is wider).
    double height(double width) const;
    // The narrowest width that shows the whole grid without scrolling.
    double natural_width() const;

    using KeyAction = ControlKeyAction;
    struct Input {
        std::vector<CWidget*> changed;       // controls whose values the user changed
        std::vector<KeyAction> key_actions;  // chosen from a control's menu
        bool active = false;                 // a control is being dragged or typed into
        CWidget* selected = nullptr;         // the control clicked (selected, whether or not it changed)
    };
    // Draws the panel over `area` (window units) with the keys at `time`
    // marked.
    Input draw(const Rect& area, double time);

    // A piece of text the panel showed, its width and the room it had.
    struct DrawnText {
        std::string text;
        double width = 0.0;
        double room = 0.0;
    };
    // Where each placed control was last drawn, in window units, in the
    // order of placement, with the texts it showed (caption lines, an
    // option's items, a label).
    struct Drawn {
        CWidget* control = nullptr;
        Rect rect;  // the control itself (below its caption, if any)
        bool shown = false;
        std::vector<std::string> caption;  // the caption's lines
        std::vector<DrawnText> texts;
    };
    const std::vector<Drawn>& drawn() const { return drawn_; }

private:
    PanelMetrics metrics(double width) const;
    // The widest thing any column must show whole.
    double min_column_width() const;
    // The items with their captions' lines at the column width of `m`.
    // Groups wrap below one another when the panel is too narrow (which
    // sets the columns of `m`).
    std::vector<PanelItem> items_for(PanelMetrics& m) const;
    double caption_room(double column_width) const;
    // The fact of the control at place `i`; null for a label.
    const trellin_app::ControlFact* fact_at(std::size_t i) const;
    // Draws one control (a label when `fact` is null) in its cell; fills `drawn`.
    bool draw_control(CWidget& control, const trellin_app::ControlFact* fact, const Rect& cell, double control_offset,
                      int id, double time, Drawn& drawn, Input& input);

    FXNode* node_;
    trellin_app::ControlFacts facts_;  // the places, captions, forms and ranges the panel shows
    std::vector<PanelItem> items_;
    std::vector<Drawn> drawn_;
};

}  // namespace trellin_view
