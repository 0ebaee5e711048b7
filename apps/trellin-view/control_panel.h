// The node's control panel drawn with Dear ImGui: the node places its
// controls on a host panel (`layout_controls`), and each placed control is
// drawn in its grid cell as what it is: a slider with the control's range and
// step, a checkbox, a drop-down list, a colour swatch that opens a colour
// picker, or a label. Controls the node has greyed out are drawn unavailable
// and take no input; hidden controls are not drawn.
//
// The panel only edits host control values. Telling the node is the
// caller's job: `draw` returns the controls the user changed.
#pragma once

#include <string>
#include <vector>

#include "apps/trellin-view/panel_layout.h"
#include "node/host_api.h"

namespace trellin_view {

class ControlPanel {
public:
    // Asks `node` to lay its controls out; the node must outlive the panel.
    // Needs a current ImGui context (for the font's metrics).
    explicit ControlPanel(FXNode& node);

    // Height of the panel for a window `width` wide: the grid and a status
    // line below it.
    double height(double width) const;

    // Draws the panel over `area` (window units) with `status` in its last
    // line; returns the controls whose values the user changed this frame.
    std::vector<CWidget*> draw(const Rect& area, const std::string& status);

    // Where each placed control was last drawn, in window units, in the
    // order of placement.
    struct Drawn {
        CWidget* control = nullptr;
        Rect rect;  // the control itself (below its caption, if any)
        bool shown = false;
    };
    const std::vector<Drawn>& drawn() const { return drawn_; }

private:
    PanelMetrics metrics(double width) const;
    // Draws one control in its cell; `drawn` receives where the control went.
    bool draw_control(CWidget& control, const Rect& cell, int id, Rect& drawn);

    std::vector<CPanel::Placement> placements_;
    std::vector<PanelItem> items_;
    std::vector<Drawn> drawn_;
};

}  // namespace trellin_view
