// The frames the Windows build of the OpenFX bundle renders under Wine for a
// comparison with the Linux `trellin render` of the same pictures
// (OfxBuildsAgree): their size, their depths, the parameters set and the
// same settings as trellin's --set arguments. The Windows side writes each
// depth's source and output as raw RGBA, rows top first, in a folder:
// in-DEPTH.raw and out-DEPTH.raw, DEPTH one of 8, 16 and 32.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "apps/ofx/ofx_api.h"

namespace ofx_agreement {

inline constexpr int width = 61;
inline constexpr int height = 37;

struct Depth {
    const char* name;       // in the files' names
    const char* ofx_depth;  // the images' pixel depth
    int bytes;              // per sample
};
inline const Depth depths[] = {{"8", kOfxBitDepthByte, 1}, {"16", kOfxBitDepthShort, 2}, {"32", kOfxBitDepthFloat, 4}};

struct Setting {
    const char* param;  // the OpenFX parameter
    double value;
    const char* set;  // trellin's --set argument for the same
};
inline const Setting settings[] = {{"CellShape", 3, "CellShape=Hexagon"},
                                   {"ChromaticAb", 12, "ChromaticAb=12"},
                                   {"LightActive", 1, "Light Active=on"},
                                   {"CellCountX", 7, "Cell Count X=7"}};

// The source picture of a depth as raw bytes, rows top first: integers over
// their whole range, floats from -0.5 to 2.5 (outside 0..1 too, which
// renders beside the picture), every depth with varied alpha but the floats,
// which are opaque.
inline std::vector<unsigned char> source_picture(const Depth& depth)
{
    const std::size_t samples = std::size_t(width) * height * 4;
    std::vector<unsigned char> bytes(samples * std::size_t(depth.bytes));
    for (std::size_t i = 0; i < samples; ++i) {
        const std::size_t p = i / 4, c = i % 4;
        const std::size_t x = p % width, y = p / width;
        const std::uint32_t v = std::uint32_t((x * (37 + 11 * c) + y * (53 + 7 * c) + (x * y) % 29) % 997);
        if (depth.bytes == 1) {
            bytes[i] = static_cast<unsigned char>(c == 3 ? 128 + v % 128 : v % 256);
        } else if (depth.bytes == 2) {
            const std::uint16_t w = static_cast<std::uint16_t>(c == 3 ? 32768 + v * 32 : v * 65);
            std::memcpy(&bytes[i * 2], &w, 2);
        } else {
            const float f = c == 3 ? 1.0f : -0.5f + 3.0f * float(v) / 996.0f;
            std::memcpy(&bytes[i * 4], &f, 4);
        }
    }
    return bytes;
}

inline std::string file_name(const char* kind, const Depth& depth)
{
    return std::string(kind) + "-" + depth.name + ".raw";
}

}  // namespace ofx_agreement
