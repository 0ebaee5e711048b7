// How a video stream's colour tags meet the colour spaces of the render.
//
// A stream names its colour in four tags: the primaries, the transfer curve,
// the matrix that makes YUV of RGB and the range of its samples. The matrix
// and the range only say how to turn samples into RGB (the reader does that
// at 16 bits); the transfer and the primaries name the colour space the RGB
// is in, which the colour options then take as any picture's.
#pragma once

#include <string>

namespace trellin_video {

// The four tags by FFmpeg's numbers (AVColorPrimaries, AVColorTransferCharacteristic,
// AVColorSpace, AVColorRange); 2 (unspecified) or 0 where the stream says nothing.
struct ColourTags {
    int primaries = 2;
    int transfer = 2;
    int matrix = 2;
    int range = 0;

    bool operator==(const ColourTags&) const = default;
};

// The colour space a stream's tags name, as the colour options spell it:
// "Rec709", "sRGB", "linear", "Gamma2.2", "Gamma2.8", "Rec2020" (BT.2020
// primaries with an SDR curve), "PQ", "HLG"; empty when the transfer is not
// given (the file then follows the integer convention, sRGB, as pictures do).
std::string space_of_tags(const ColourTags& tags);

// Tags that describe an output written in `space`: the transfer and primaries
// that space has (those of `input` when the space is the input's own), and
// for YUV output the input's matrix when it had one, else BT.709 (BT.2020 for
// BT.2020 primaries), at limited range. RGB output is tagged RGB at full range.
ColourTags tags_of_space(const std::string& space, const ColourTags& input, bool yuv);

// "BT.709 limited", "BT.601 full", ...: the matrix and range a reader used.
std::string matrix_text(int matrix, int range);

// The matrix a YUV stream of `height` lines is read with when it names none:
// BT.601 below 720 lines, BT.709 from 720 up (as players do).
int matrix_for(const ColourTags& tags, int height);

}  // namespace trellin_video
