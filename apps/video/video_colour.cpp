#include "apps/video/video_colour.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "apps/common/picture/colour_space.h"

namespace trellin_video {

namespace {

// BT.2020 primaries, or another wide gamut, with the usual SDR curves.
bool wide_primaries(int primaries)
{
    return primaries == AVCOL_PRI_BT2020;
}

}  // namespace

std::string space_of_tags(const ColourTags& tags)
{
    switch (tags.transfer) {
    case AVCOL_TRC_SMPTE2084:
        return "PQ";
    case AVCOL_TRC_ARIB_STD_B67:
        return "HLG";
    case AVCOL_TRC_LINEAR:
        return "linear";
    case AVCOL_TRC_IEC61966_2_1:
        return "sRGB";
    case AVCOL_TRC_GAMMA22:
        return "Gamma2.2";
    case AVCOL_TRC_GAMMA28:
        return "Gamma2.8";
    case AVCOL_TRC_BT709:
    case AVCOL_TRC_SMPTE170M:
    case AVCOL_TRC_BT2020_10:
    case AVCOL_TRC_BT2020_12:
        return wide_primaries(tags.primaries) ? "Rec2020" : "Rec709";
    default:
        return {};
    }
}

ColourTags tags_of_space(const std::string& space, const ColourTags& input, bool yuv)
{
    ColourTags out;
    if (trellin_app::same_name(space, space_of_tags(input))) {
        out.primaries = input.primaries;
        out.transfer = input.transfer;
    } else {
        struct Named {
            const char* name;
            int transfer, primaries;
        };
        static constexpr Named named[] = {{"sRGB", AVCOL_TRC_IEC61966_2_1, AVCOL_PRI_BT709},
                                          {"Rec709", AVCOL_TRC_BT709, AVCOL_PRI_BT709},
                                          {"Rec2020", AVCOL_TRC_BT2020_10, AVCOL_PRI_BT2020},
                                          {"PQ", AVCOL_TRC_SMPTE2084, AVCOL_PRI_BT2020},
                                          {"HLG", AVCOL_TRC_ARIB_STD_B67, AVCOL_PRI_BT2020},
                                          {"linear", AVCOL_TRC_LINEAR, AVCOL_PRI_UNSPECIFIED},
                                          {"Gamma2.2", AVCOL_TRC_GAMMA22, AVCOL_PRI_UNSPECIFIED},
                                          {"Gamma2.8", AVCOL_TRC_GAMMA28, AVCOL_PRI_UNSPECIFIED}};
        for (const Named& n : named) {
            if (trellin_app::same_name(space, n.name)) {
                out.transfer = n.transfer;
                out.primaries = n.primaries;
            }
        }
    }
    if (!yuv) {
        out.matrix = AVCOL_SPC_RGB;
        out.range = AVCOL_RANGE_JPEG;
        return out;
    }
    const bool input_yuv = input.matrix != AVCOL_SPC_RGB && input.matrix != AVCOL_SPC_UNSPECIFIED;
    if (input_yuv && out.primaries == input.primaries)
        out.matrix = input.matrix;
    else
        out.matrix = wide_primaries(out.primaries) ? AVCOL_SPC_BT2020_NCL : AVCOL_SPC_BT709;
    out.range = AVCOL_RANGE_MPEG;
    return out;
}

std::string matrix_text(int matrix, int range)
{
    std::string text;
    switch (matrix) {
    case AVCOL_SPC_BT709:
        text = "BT.709";
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        text = "BT.2020";
        break;
    case AVCOL_SPC_SMPTE240M:
        text = "SMPTE 240M";
        break;
    case AVCOL_SPC_FCC:
        text = "FCC";
        break;
    case AVCOL_SPC_RGB:
        return "RGB";
    default:
        text = "BT.601";
        break;
    }
    return text + (range == AVCOL_RANGE_JPEG ? " full" : " limited");
}

int matrix_for(const ColourTags& tags, int height)
{
    if (tags.matrix != AVCOL_SPC_UNSPECIFIED && tags.matrix != AVCOL_SPC_RESERVED) return tags.matrix;
    return height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

}  // namespace trellin_video
