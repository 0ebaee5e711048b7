#include "apps/trellin/pictures/control_gallery.h"

#include <cctype>
#include <stdexcept>

#include "apps/common/core/frame_render.h"

namespace trellin_app {

namespace {

// A small grid, so that a shift or a turn shows against the picture around it.
const std::vector<Setting> small_grid = {{"Cell Count X", "6"}, {"Cell Count Y", "4"}};
const std::vector<Setting> small_turned_grid = {{"Cell Count X", "6"}, {"Cell Count Y", "4"}, {"Cell Angle", "30"}};

}  // namespace

const std::vector<Setting>& gallery_base()
{
    // Softly lit, so that the light outlines every cell.
    static const std::vector<Setting> base = {
        {"CellShape", "Hexagon"}, {"Cell Count X", "14"}, {"Cell Count Y", "12"},
        {"CellSize", "0.3"},      {"White Height", "12"}, {"Index", "1.5"},
        {"Light Active", "on"},   {"Brightness", "60"},   {"Back Bright", "90"},
    };
    return base;
}

const std::vector<GalleryStrip>& gallery_strips()
{
    static const std::vector<GalleryStrip> strips = {
        {"CellShape", {"Triangle", "Square", "Pentagon", "Hexagon", "Octagon", "Dodecagon"}, {{"CellSize", "0.45"}}},
        {"Cell Count X", {"3", "6", "14"}, {}},
        {"Cell Count Y", {"2", "5", "12"}, {}},
        {"CellSize", {"0.15", "0.3", "0.6"}, {}},
        {"CellCurve", {"0.3", "1", "3"}, {}},
        {"Tweak_X", {"0.4", "0.5", "0.6"}, small_grid},
        {"Tweak_Y", {"0.4", "0.5", "0.6"}, small_grid},
        {"Black Height", {"0", "6", "11"}, {}},
        {"White Height", {"11", "12", "16"}, {}},
        {"Index", {"1", "1.5", "3"}, {}},
        {"Edge", {"Duplicate", "Black", "Wrap"}, {{"White Height", "20"}, {"CellSize", "0.6"}}},
        {"Smoothing", {"0", "3", "10"}, {}},
        {"ChromaticAb", {"0", "4", "16"}, {}},
        {"Cell Angle", {"0", "15", "45"}, {}},
        {"Angle Centre_X", {"0", "0.5", "1"}, small_turned_grid},
        {"Angle Centre_Y", {"0", "0.5", "1"}, small_turned_grid},
        {"Light Active", {"off", "on"}, {}},
        {"Brightness", {"30", "100", "200"}, {}},
        {"Light_X", {"0", "0.5", "1"}, {}},
        {"Light_Y", {"0", "0.5", "1"}, {}},
        {"LightZ", {"0.1", "0.5", "2"}, {}},
        {"Gloss", {"5", "45", "400"}, {}},
        {"Back Bright", {"100", "60", "20"}, {}},
        {"ShowMap", {"off", "on"}, {}},
        {"Invert map", {"off", "on"}, {}},
        {"Light", {"1,1,1,1", "1,0.6,0.2,1", "0.3,0.6,1,1"}, {}},
    };
    return strips;
}

std::string gallery_file_stem(const std::string& control)
{
    std::string stem;
    for (const unsigned char c : control) stem += (c == ' ' || c == '_') ? '-' : static_cast<char>(std::tolower(c));
    return stem;
}

ContactSheet render_gallery_strip(const NodeModule& module, const GalleryStrip& strip, const HostPicture& picture,
                                  int tile_width, int tile_height)
{
    std::vector<SheetTile> tiles;
    for (const std::string& value : strip.values) {
        NodePtr node = module.create_node();
        for (const Setting& s : gallery_base()) apply_setting(*node, s);
        for (const Setting& s : strip.extra) apply_setting(*node, s);
        const Setting shown{strip.control, value};
        apply_setting(*node, shown);
        SheetTile tile;
        tile.label = strip.control + "=" + value;
        if (render_frame(*node, picture, tile.picture, 0.0, tile_width, tile_height) == 0)
            throw std::runtime_error(tile.label + ": the effect refused the frame (see its warning above)");
        tiles.push_back(std::move(tile));
    }
    return make_contact_sheet(tiles, {.columns = 3});
}

}  // namespace trellin_app
