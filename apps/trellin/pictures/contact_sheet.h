// Pictures laid out on a grid, each with a text label under it: the demo's
// sheet of looks and the strips of the control reference.
#pragma once

#include <string>
#include <vector>

#include "apps/common/core/host_picture.h"

namespace trellin_app {

struct SheetTile {
    HostPicture picture;  // 3 or 4 samples; alpha is left out
    std::string label;
};

struct SheetLayout {
    int columns = 3;
    int gap = 6;         // pixels around and between the tiles
    int font_size = 15;  // label height in pixels
};

struct ContactSheet {
    HostPicture picture;   // RGB, 16-bit samples
    bool labelled = true;  // false when the label font could not be found (labels left out)
};

// The font the labels are drawn in (Debian's fonts-dejavu-core).
inline constexpr char sheet_font[] = "DejaVuSans";

// Lays the tiles out in rows of `layout.columns`, in order, on a dark grey
// ground; every cell is as large as the largest tile, a tile sits at the top
// of its cell, centred across, and its label is drawn centred below it,
// clipped to the cell.
ContactSheet make_contact_sheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout = {});

}  // namespace trellin_app
