#include "apps/common/core/control_meaning.h"

#include <algorithm>
#include <iterator>

#include "host/text_match.h"

namespace trellin_app {

namespace {

struct Meaning {
    const char* label;
    const char* text;
};

// In the order of the control panel.
constexpr Meaning meanings[] = {
    {"CellShape", "shape of every glass cell"},
    {"Cell Count X", "number of cell columns, laid out from the picture centre"},
    {"Cell Count Y", "number of cell rows, laid out from the picture centre"},
    {"CellSize", "cell radius = 0.2 x CellSize x picture width"},
    {"CellCurve", "dome profile: 1 round, <1 flat-topped, >1 pointed, 0 flat"},
    {"Tweak_X", "shifts the grid across: 0.6 moves it a tenth of the width"},
    {"Tweak_Y", "shifts the grid down: 0.6 moves it a tenth of the height"},
    {"Black Height", "thickness at rims and between cells, in 1/100 of the picture"},
    {"White Height", "thickness at cell centres; White - Black sets the slopes"},
    {"Index", "refractive index: 1 bends nothing, 1.5 is window glass"},
    {"Edge", "beyond the border: repeat the edge, black, or wrap round"},
    {"Smoothing", "softens the bends: slope distance in pixels at 720 wide"},
    {"ChromaticAb", "colour split: R, G, B see glass 1, 2, 3 x this thicker"},
    {"Cell Angle", "turns the grid about the Angle Centre, degrees clockwise"},
    {"Angle Centre_X", "pivot of the turn, as a fraction of the picture width"},
    {"Angle Centre_Y", "pivot of the turn, as a fraction of the picture height"},
    {"Light Active", "lights the glass (a highlight; Back Bright dims under it)"},
    {"Brightness", "strength of the highlight in percent; 0 turns the light off"},
    {"Light_X", "light position, as a fraction of the width (may be outside)"},
    {"Light_Y", "light position, as a fraction of the height (may be outside)"},
    {"LightZ", "light height above the picture, as a fraction of the width"},
    {"Gloss", "sharpness of the highlight: higher is smaller and harder"},
    {"Back Bright", "picture brightness in percent while the light is on"},
    {"ShowMap", "shows the cell map (domes in grey) instead of the picture"},
    {"Invert map", "turns the domes into dents"},
    {"Light", "colour of the light (its alpha is not used)"},
};

}  // namespace

std::string control_meaning(const std::string& label)
{
    const std::string wanted = label.substr(0, label.find(':'));
    const auto it = std::find_if(std::begin(meanings), std::end(meanings), [&](const Meaning& m) {
        return host_detail::same_text_ignoring_case(m.label, wanted);
    });
    return it != std::end(meanings) ? it->text : std::string();
}

}  // namespace trellin_app
