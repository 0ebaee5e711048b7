// The strips of the control reference (docs/controls.md): for every control,
// one picture rendered at a few of the control's values, side by side and
// labelled LABEL=VALUE, all from the same full-frame glass so that only that
// control changes along a strip.
#pragma once

#include <string>
#include <vector>

#include "apps/trellin/pictures/contact_sheet.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/module_loader.h"

namespace trellin_app {

struct GalleryStrip {
    std::string control;              // the label a setting names the control by
    std::vector<std::string> values;  // one tile each, in order
    std::vector<Setting> extra;       // what the control needs to show (a small grid, a turned grid)
};

// What every strip starts from: softly lit hexagon glass over the whole frame.
const std::vector<Setting>& gallery_base();

// One strip per control, in the order of the control panel.
const std::vector<GalleryStrip>& gallery_strips();

// The file name (without extension) of a control's strip: the label in lower
// case with spaces and underscores as '-' ("Cell Count X" -> "cell-count-x").
std::string gallery_file_stem(const std::string& control);

// Renders the strip: `picture` through a new node per value (the base, the
// strip's extra settings, then the control at the value), each fitted to
// tile_width x tile_height. Throws SettingError for a setting the node
// refuses and ModuleError when the module makes no node; a frame the node
// refuses throws std::runtime_error naming the tile.
ContactSheet render_gallery_strip(const NodeModule& module, const GalleryStrip& strip, const HostPicture& picture,
                                  int tile_width, int tile_height);

}  // namespace trellin_app
