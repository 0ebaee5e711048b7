// Positions between the node's fractions (y down) and the host's canonical
// coordinates (y up): a value the plug-in gives the host comes back as the
// value the node renders with.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "apps/ofx/host_position.h"

namespace {

using trellin_ofx::host_position;
using trellin_ofx::node_position;

// The smallest |y| whose every float comes back bit for bit on a picture
// `height` lines high: y2 - y * h holds all of y's 24 bits while the odd
// part of the height and those bits fit in a double's 53.
double exact_from(int height)
{
    const auto odd = static_cast<unsigned>(height) >> std::countr_zero(static_cast<unsigned>(height));
    return std::ldexp(1.0, static_cast<int>(std::bit_width(odd)) - 30);
}

// The floats of [-5, 5] (the light's range; the pivot's and the shift's 0..1
// lie within) through the host and back: a sparse sweep over the whole range
// and a dense one over the binades each side of where y stops being exact.
TEST(OfxHostPosition, FloatsComeBackBitForBit)
{
    for (const auto& [w, h] : {std::pair{48, 32}, {720, 576}, {1280, 720}, {1920, 1080}, {3840, 2160}, {4096, 1716}}) {
        const OfxRectD region{0.0, 0.0, double(w), double(h)};
        const double floor_y = exact_from(h);
        long checked = 0, inexact = 0;
        // Every `stride`th float from `from` up to `to`, both positive.
        const auto sweep = [&](float from, float to, std::uint32_t stride) {
            for (float f = from; f <= to; f = std::bit_cast<float>(std::bit_cast<std::uint32_t>(f) + stride))
                for (const double v : {double(f), -double(f)}) {
                    const double node[2] = {v, v};
                    double host[2], back[2];
                    host_position(region, node, host);
                    node_position(region, host, back);
                    ++checked;
                    if (back[0] != v) ADD_FAILURE() << w << "x" << h << " x " << v;
                    if (std::fabs(v) >= floor_y && back[1] != v) ADD_FAILURE() << w << "x" << h << " y " << v;
                    // Nearer 0 only the host's rounding is lost, far below a pixel.
                    inexact += back[1] != v;
                    if (!(std::fabs(back[1] - v) <= 0x1p-50)) ADD_FAILURE() << w << "x" << h << " y " << v;
                    if (::testing::Test::HasFailure()) return;
                }
        };
        sweep(0.0f, 5.0f, 4099);
        sweep(float(floor_y / 2), float(floor_y * 2), 61);
        EXPECT_GT(checked, 500'000);
        EXPECT_GT(inexact, 0) << w << "x" << h << ": y is exact nearer 0 than said";
        if (::testing::Test::HasFailure()) return;
    }
}

// Values typed on the controls' steps (0.001) are doubles with more bits
// than floats; what the node renders with, a float of pixels (the position
// times the width or height), is the same after the trip, also on an
// anamorphic picture whose canonical width is not whole.
TEST(OfxHostPosition, StepValuesRenderTheSamePixels)
{
    struct Picture {
        int width, height;
        double aspect;
    };
    for (const Picture& p : {Picture{1920, 1080, 1.0}, Picture{720, 576, 16.0 / 15.0}, Picture{720, 480, 0.9},
                             Picture{1440, 1080, 4.0 / 3.0}, Picture{48, 32, 1.0}}) {
        const OfxRectD region{0.0, 0.0, p.width * p.aspect, double(p.height)};
        for (int k = -5000; k <= 5000; ++k) {
            const double v = k / 1000.0;
            const double node[2] = {v, v};
            double host[2], back[2];
            host_position(region, node, host);
            node_position(region, host, back);
            EXPECT_EQ(float(back[0] * p.width), float(v * p.width)) << p.width << " x " << v;
            EXPECT_EQ(float(back[1] * p.height), float(v * p.height)) << p.height << " y " << v;
            EXPECT_EQ(float((back[0] - 0.5) * p.width), float((v - 0.5) * p.width)) << p.width << " x " << v;
            EXPECT_EQ(float((back[1] - 0.5) * p.height), float((v - 0.5) * p.height)) << p.height << " y " << v;
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// The host's y runs up from the bottom edge: the node's top is the region's
// y2, wherever the region lies.
TEST(OfxHostPosition, YRunsUpFromTheBottom)
{
    const OfxRectD region{-8.0, 4.0, 40.0, 36.0};
    const double corner[2] = {0.0, 0.0}, centre[2] = {0.5, 0.5}, below[2] = {1.0, 1.25};
    double host[2];
    host_position(region, corner, host);
    EXPECT_EQ(host[0], -8.0);
    EXPECT_EQ(host[1], 36.0);
    host_position(region, centre, host);
    EXPECT_EQ(host[0], 16.0);
    EXPECT_EQ(host[1], 20.0);
    host_position(region, below, host);
    EXPECT_EQ(host[1], -4.0);
    EXPECT_FALSE(trellin_ofx::measurable({0.0, 0.0, 0.0, 10.0}));
    EXPECT_FALSE(trellin_ofx::measurable({0.0, 0.0, INFINITY, 10.0}));
    EXPECT_TRUE(trellin_ofx::measurable(region));
}

}  // namespace
