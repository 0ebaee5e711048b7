// --hdr split in process, through a real node: pictures within 0..1 render bit for bit as with
// --hdr none; flat regions above 1 keep their value through the glass, dimmed by "Back Bright"
// and lit once; the highlights are linear in the plate within the 15-bit steps of their scale,
// split by chromatic aberration like the rest, and far-out or non-finite samples neither crash
// nor leak into the output. A sunset-like plate keeps its look below 1 and its sun.
// test-links: trellin_app_picture
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "apps/common/core/hdr_split.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/common/core/sample_convert.h"
#include "support/node_runner.h"

namespace {

using namespace trellin_app;

constexpr int w = 96;
constexpr int h = 64;

using Plate = std::vector<float>;  // w x h x 4 floats, alpha 1

Plate flat_plate(float v)
{
    Plate p(std::size_t(w) * h * 4, v);
    for (std::size_t i = 3; i < p.size(); i += 4) p[i] = 1.0f;
    return p;
}

float& at(Plate& p, int x, int y, int c)
{
    return p[(std::size_t(y) * w + std::size_t(x)) * 4 + std::size_t(c)];
}

struct Rendered {
    Plate out;
    ClipCount clipped;
    SplitParts parts;  // as the node rendered them
};

// The plate as `trellin render` takes a float picture in `mode` and gives it back as floats.
Rendered render(const testkit::Settings& settings, const Plate& plate, HdrMode mode)
{
    RenderOptions options;
    options.hdr = mode;
    const PictureColour colour(options);
    PictureSource source;
    source.float_samples = true;
    source.samples = plate;
    NodeFrame frame = colour.to_node(HostPicture(w, h, 4), source, "plate");
    auto node = testkit::make_node(settings);
    Rendered r;
    HostPicture result;
    EXPECT_EQ(render_split(*node, frame.picture, frame.parts, result, r.parts, 0.0, w, h), 1);
    OutputFrame out = colour.from_node(std::move(result), frame, linear_space, {"openexr", true, false}, &r.parts);
    r.out = out.samples;
    if (r.out.empty())
        for (const std::uint16_t v : out.picture.data) r.out.push_back(to_unit_float(v));
    r.clipped = frame.clipped;
    return r;
}

const testkit::Settings glass = {{"CellSize", "0.2"}, {"White Height", "40"}, {"Smoothing", "2"}};

testkit::Settings with(testkit::Settings s, const testkit::Settings& more)
{
    s.insert(s.end(), more.begin(), more.end());
    return s;
}

// A smooth picture within 0..1 with some detail.
Plate unit_plate()
{
    Plate p = flat_plate(0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) at(p, x, y, c) = 0.5f + 0.5f * float(std::sin(0.13 * x * (c + 1) + 0.07 * y));
    return p;
}

// Highlights: a sun of radius 9 at (60, 20) rising to `peak`, over unit_plate.
Plate sun_plate(float peak)
{
    Plate p = unit_plate();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x - 60.0, y - 20.0);
            if (d < 9.0)
                for (int c = 0; c < 3; ++c)
                    at(p, x, y, c) = 1.0f + (peak - 1.0f) * float(1.0 - d / 9.0) * (c + 2) / 4.0f;
        }
    return p;
}

TEST(HdrSplit, WithinUnitRangeRendersBitForBitAsNone)
{
    const Plate plate = unit_plate();
    for (const testkit::Settings& s :
         {glass, with(glass, {{"Light Active", "on"}, {"Back Bright", "70"}, {"ChromaticAb", "40"}})}) {
        const Rendered none = render(s, plate, HdrMode::none);
        for (const HdrMode mode : {HdrMode::split, HdrMode::automatic}) {
            const Rendered split = render(s, plate, mode);
            EXPECT_TRUE(split.parts.empty()) << "one render";
            ASSERT_EQ(split.out.size(), none.out.size());
            EXPECT_EQ(std::memcmp(split.out.data(), none.out.data(), none.out.size() * sizeof(float)), 0);
            EXPECT_EQ(split.clipped.clipped, 0);
        }
    }
}

TEST(HdrSplit, FlatRegionKeepsItsValueDimmedAndLitOnce)
{
    // A 56 x 40 region at 4.0 (cells are 0.2 x 96 = 19 pixels) on 0.25, through glass of the default
    // heights, which bends the middle 16 x 12 (read here) no further than the region.
    const testkit::Settings glass = {{"CellSize", "0.2"}};
    Plate plate = flat_plate(0.25f), half = flat_plate(0.5f);
    for (int y = 12; y < 52; ++y)
        for (int x = 20; x < 76; ++x)
            for (int c = 0; c < 3; ++c) at(plate, x, y, c) = 4.0f;
    auto each_inside = [](const Plate& p, auto fn) {
        for (int y = 26; y < 38; ++y)
            for (int x = 40; x < 56; ++x)
                for (int c = 0; c < 3; ++c) fn(p[(std::size_t(y) * w + std::size_t(x)) * 4 + std::size_t(c)], x, y, c);
    };
    const Rendered off = render(glass, plate, HdrMode::split);
    EXPECT_FALSE(off.parts.above.data.empty());
    each_inside(off.out, [](float v, int, int, int) { ASSERT_NEAR(v, 4.0, 4.0 * 0.005); });

    // The highlight stays below 0.5 (Brightness 40), so the 0.5 the region's clipped picture keeps
    // plus the highlight stays within the node's range.
    const testkit::Settings lit = with(glass, {{"Light Active", "on"}, {"Back Bright", "50"}, {"Brightness", "40"}});
    const Rendered black = render(with(lit, {{"Light", "0,0,0,1"}}), plate, HdrMode::split);
    each_inside(black.out, [](float v, int, int, int) { ASSERT_NEAR(v, 2.0, 2.0 * 0.005); });

    // With a white light the output minus the black-light output is the highlight the same settings
    // add to a flat 0.5 region (each within the 15-bit steps of its render).
    const Rendered white = render(with(lit, {{"Light", "1,1,1,1"}}), plate, HdrMode::split);
    const Rendered half_white = render(with(lit, {{"Light", "1,1,1,1"}}), half, HdrMode::split);
    const Rendered half_black = render(with(lit, {{"Light", "0,0,0,1"}}), half, HdrMode::split);
    double most = 0.0, largest_highlight = 0.0;
    const double bound = (part_steps * 3.0 + 2.0) / 32767.0;
    each_inside(white.out, [&](float v, int x, int y, int c) {
        const std::size_t i = (std::size_t(y) * w + std::size_t(x)) * 4 + std::size_t(c);
        const double added = double(v) - black.out[i];
        const double highlight = double(half_white.out[i]) - half_black.out[i];
        most = std::max(most, std::abs(added - highlight));
        largest_highlight = std::max(largest_highlight, highlight);
    });
    EXPECT_GT(largest_highlight, 0.05) << "the light shows in the region";
    EXPECT_LE(most, bound) << "the highlight is added once";
}

// The part of an output above the plain render.
Plate part_of(const Plate& split, const Plate& none)
{
    Plate p(split.size());
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = split[i] - none[i];
    return p;
}

TEST(HdrSplit, HighlightsAreLinearWithinTheStepsOfTheirScale)
{
    const testkit::Settings lit = with(glass, {{"Light Active", "on"}, {"Back Bright", "80"}});
    const Plate one = sun_plate(41.0f);
    Plate two = one;
    for (float& v : two)
        if (v > 1.0f) v = 1.0f + 2.0f * (v - 1.0f);
    const Rendered plain = render(lit, one, HdrMode::none);
    const Rendered a = render(lit, one, HdrMode::split), b = render(lit, two, HdrMode::split);
    const Plate pa = part_of(a.out, plain.out), pb = part_of(b.out, plain.out);
    // Each part lies within part_steps steps of its scale of the exact result; doubling adds the
    // two errors: part_steps * (scale(2p) + 2 scale(p)) / 32767.
    const double bound = part_steps * part_step * (double(b.parts.above_scale) + 2.0 * a.parts.above_scale);
    double most = 0.0, biggest = 0.0;
    for (std::size_t i = 0; i < pa.size(); ++i) {
        most = std::max(most, std::abs(double(pb[i]) - 2.0 * pa[i]));
        biggest = std::max(biggest, double(pb[i]));
    }
    std::printf("linearity: largest part %.4g, largest deviation %.4g, bound %.4g\n", biggest, most, bound);
    EXPECT_GT(biggest, 20.0);
    EXPECT_LE(most, bound);
}

TEST(HdrSplit, ChromaticAberrationSplitsHighlightsAsTheRest)
{
    // A white square on black within 0..1, and the same square at 1 + 7: the part above 1 is the
    // square itself, so it must come out as 7 times the square's render, channel by channel.
    const testkit::Settings split_glass = with(glass, {{"ChromaticAb", "80"}});
    Plate low = flat_plate(0.0f), high = flat_plate(0.0f);
    for (int y = 20; y < 40; ++y)
        for (int x = 30; x < 50; ++x)
            for (int c = 0; c < 3; ++c) {
                at(low, x, y, c) = 1.0f;
                at(high, x, y, c) = 8.0f;
            }
    const Rendered square = render(split_glass, low, HdrMode::none);
    const Rendered bright = render(split_glass, high, HdrMode::split);
    const double bound = part_steps * 7.0 / 32767.0 + 7.0 / 32767.0;
    bool channels_differ = false;
    for (std::size_t i = 0; i < square.out.size(); i += 4) {
        for (std::size_t c = 0; c < 3; ++c)
            ASSERT_NEAR(bright.out[i + c] - square.out[i + c], 7.0 * square.out[i + c], bound) << i / 4 << " " << c;
        channels_differ = channels_differ || std::abs(square.out[i] - square.out[i + 2]) > 0.25f;
    }
    EXPECT_TRUE(channels_differ) << "the aberration shows";
}

TEST(HdrSplit, FarOutAndNonFiniteSamplesAreCountedAndLeaveNoneOut)
{
    Plate plate = unit_plate();
    const float inf = std::numeric_limits<float>::infinity();
    at(plate, 10, 10, 0) = 1e6f;
    at(plate, 11, 10, 1) = 65504.0f;
    at(plate, 12, 10, 2) = -1e6f;
    at(plate, 13, 10, 0) = std::numeric_limits<float>::quiet_NaN();
    at(plate, 14, 10, 1) = inf;
    at(plate, 15, 10, 2) = -inf;
    const Rendered r = render(with(glass, {{"Light Active", "on"}}), plate, HdrMode::split);
    for (const float v : r.out) ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(r.clipped.clipped, 3);
    EXPECT_EQ(r.clipped.non_finite, 3) << "the three clipped are the NaN and the infinities";
    EXPECT_FLOAT_EQ(r.parts.above_scale, 1e6f - 1.0f);
    EXPECT_FLOAT_EQ(r.parts.below_scale, 1e6f);
    EXPECT_GT(*std::max_element(r.out.begin(), r.out.end()), 1000.0f) << "the far value is carried";
    const std::string note = clip_note(r.clipped, HdrMode::split, "linear");
    EXPECT_NE(note.find("3 of " + std::to_string(w * h * 3) + " samples lay outside what --hdr split carries"),
              std::string::npos)
        << note;
    EXPECT_NE(note.find("(3 not finite: NaN or infinite)"), std::string::npos) << note;
}

TEST(HdrSplit, SunsetKeepsTheLookBelowOneAndTheSun)
{
    // Sky from 0.9 at the horizon to 0.1 at the top, sea 0.05 to 0.3 below, a sun reaching 41.
    Plate plate = flat_plate(0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float sky = y < 40 ? 0.1f + 0.8f * float(y) / 40.0f : 0.05f + 0.25f * float(h - y) / float(h - 40);
            const float rgb[3] = {sky, sky * 0.6f, sky * 0.35f};
            const double d = std::hypot(x - 48.0, y - 34.0);
            for (int c = 0; c < 3; ++c)
                at(plate, x, y, c) = d < 6.0 ? 1.0f + 40.0f * float(1.0 - d / 6.0) * (c == 0 ? 1.0f : 0.8f) : rgb[c];
        }
    const testkit::Settings s = with(glass, {{"Light Active", "on"}, {"Back Bright", "90"}});
    const Rendered none = render(s, plate, HdrMode::none);
    const Rendered split = render(s, plate, HdrMode::split);
    EXPECT_GT(*std::max_element(split.out.begin(), split.out.end()), 10.0f) << "the sun is kept";
    // Below 1.0 the look is the plain render's: where the rendered part is 0 the outputs are equal,
    // and nowhere is the split output below the plain one.
    long long same = 0;
    for (std::size_t i = 0; i < none.out.size(); ++i) {
        const bool no_part = split.parts.above.data[i] == 0;
        if (no_part) {
            ASSERT_EQ(split.out[i], none.out[i]) << i;
            ++same;
        }
        ASSERT_GE(split.out[i], none.out[i]) << i;
    }
    EXPECT_GT(same, static_cast<long long>(none.out.size() / 2));
}

}  // namespace
