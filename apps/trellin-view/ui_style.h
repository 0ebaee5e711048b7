// The viewer's look in Dear ImGui: a font that reads at the chosen scale,
// sizes scaled with it, and slider grabs that leave their digits legible;
// and the fixed, undecorated windows the time bar and the panel are.
#pragma once

#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

// The font the viewer prefers; the built-in font is used when it is missing.
inline constexpr char ui_font_path[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Sets up the current ImGui context's style and fonts for `scale` (1 for an
// ordinary screen, 2 for one of double density). Call before the first frame.
void set_up_ui(double scale);

// Begins an ImGui window that fills `area` (window units) and cannot be moved,
// resized or collapsed, with `flags` (ImGuiWindowFlags) added. End it with
// ImGui::End().
void begin_fixed_window(const char* name, const Rect& area, int flags);

}  // namespace trellin_view
