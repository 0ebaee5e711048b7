#include "apps/trellin/pictures/contact_sheet.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>

namespace trellin_app {

namespace {

constexpr float ground[3] = {0.12f, 0.12f, 0.12f};
constexpr float ink[3] = {0.92f, 0.92f, 0.92f};

}  // namespace

ContactSheet make_contact_sheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout)
{
    ContactSheet sheet;
    if (tiles.empty()) return sheet;
    int cell_w = 1, cell_h = 1;
    for (const SheetTile& t : tiles) {
        cell_w = std::max(cell_w, t.picture.width);
        cell_h = std::max(cell_h, t.picture.height);
    }
    const int columns = std::clamp(layout.columns, 1, static_cast<int>(tiles.size()));
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    const int label_h = layout.font_size + layout.font_size / 2 + 2;
    const int step_x = cell_w + layout.gap, step_y = cell_h + label_h + layout.gap;

    OIIO::ImageBuf canvas(
        OIIO::ImageSpec(layout.gap + columns * step_x, layout.gap + rows * step_y, 3, OIIO::TypeDesc::UINT16));
    OIIO::ImageBufAlgo::fill(canvas, ground);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const HostPicture& p = tiles[i].picture;
        const int x0 = layout.gap + static_cast<int>(i % columns) * step_x;
        const int y0 = layout.gap + static_cast<int>(i / columns) * step_y;
        // The tile's samples as they are (no copy), colour channels only.
        const OIIO::ImageBuf tile(OIIO::ImageSpec(p.width, p.height, p.samples, OIIO::TypeDesc::UINT16),
                                  const_cast<std::uint16_t*>(p.data.data()));
        OIIO::ImageBufAlgo::paste(canvas, x0 + (cell_w - p.width) / 2, y0, 0, 0, tile,
                                  OIIO::ROI(0, p.width, 0, p.height, 0, 1, 0, 3));
        if (sheet.labelled && !tiles[i].label.empty()) {
            const OIIO::ROI cell(x0, x0 + cell_w, y0 + cell_h, y0 + cell_h + label_h);
            sheet.labelled = OIIO::ImageBufAlgo::render_text(
                canvas, x0 + cell_w / 2, y0 + cell_h + label_h / 2, tiles[i].label, layout.font_size, sheet_font, ink,
                OIIO::ImageBufAlgo::TextAlignX::Center, OIIO::ImageBufAlgo::TextAlignY::Center, 0, cell);
            if (!sheet.labelled) canvas.geterror();  // taken, so that the buffer does not print it
        }
    }
    sheet.picture = HostPicture(canvas.spec().width, canvas.spec().height, 3);
    canvas.get_pixels(canvas.roi(), OIIO::TypeDesc::UINT16, sheet.picture.data.data());
    return sheet;
}

}  // namespace trellin_app
