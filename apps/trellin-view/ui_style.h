// The viewer's look in Dear ImGui: a font that reads at the chosen scale,
// sizes scaled with it, and slider grabs that leave their digits legible.
#pragma once

namespace trellin_view {

// The font the viewer prefers; the built-in font is used when it is missing.
inline constexpr char ui_font_path[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Sets up the current ImGui context's style and fonts for `scale` (1 for an
// ordinary screen, 2 for one of double density). Call before the first frame.
void set_up_ui(double scale);

}  // namespace trellin_view
