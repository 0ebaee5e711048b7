// test-links: trellin_app_picture
// The colour handling of hosts whose source and output keep their samples'
// own convention (the OpenFX plug-in's) against the picture library's with
// no colour options, which trellin render runs: the same frames into the
// node and the same outputs, bit for bit, for integer and float samples,
// straight and premultiplied, with values outside 0..1 and not finite; and
// an output of the other convention, which only the picture library can
// convert, refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "apps/common/core/convention_colour.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/picture/picture_colour.h"

// Named: the program compiles its files a few to a unit.
namespace convention_colour_test {

using namespace trellin_app;

constexpr int w = 23, h = 9;

bool same_floats(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

void expect_same_counts(const ClipCount& a, const ClipCount& b)
{
    EXPECT_EQ(a.clipped, b.clipped);
    EXPECT_EQ(a.non_finite, b.non_finite);
    EXPECT_EQ(a.total, b.total);
    EXPECT_EQ(a.alpha_clipped, b.alpha_clipped);
    EXPECT_EQ(a.alpha_total, b.alpha_total);
}

// A picture of RGBA samples: 16-bit ones, and for float sources the floats
// (from -1 to 3, a NaN and an infinity, alpha from -0.25 to 1.25).
struct Source {
    HostPicture picture;
    PictureSource source;
};
Source make_source(bool floats, bool premultiplied)
{
    Source s;
    s.picture.width = w;
    s.picture.height = h;
    s.picture.samples = 4;
    s.picture.data.resize(std::size_t(w) * h * 4);
    s.source.format = floats ? "openexr" : premultiplied ? "tiff" : "png";
    s.source.alpha = true;
    s.source.float_samples = floats;
    s.source.associated_alpha = premultiplied;
    for (std::size_t i = 0; i < s.picture.data.size(); ++i) {
        const std::size_t k = (i * 7919) % 1009;
        s.picture.data[i] = static_cast<std::uint16_t>(k * 65);
        if (!floats) continue;
        float v = i % 4 == 3 ? -0.25f + 1.5f * float(k) / 1008.0f : -1.0f + 4.0f * float(k) / 1008.0f;
        if (i == 41) v = std::numeric_limits<float>::quiet_NaN();
        if (i == 58) v = std::numeric_limits<float>::infinity();
        s.source.samples.push_back(v);
    }
    return s;
}

// What a node that changes something gives back: every sample shifted.
HostPicture rendered(const HostPicture& picture)
{
    HostPicture result = picture;
    for (std::uint16_t& v : result.data) v = static_cast<std::uint16_t>(v ^ 0x0155);
    return result;
}

TEST(ConventionColour, EqualsThePictureColourWithNoOptions)
{
    const PictureColour colour{RenderOptions{}};
    for (const bool floats : {false, true})
        for (const bool premultiplied : {false, true})
            for (const bool associated_out : {false, true}) {
                SCOPED_TRACE(std::string(floats ? "floats" : "integers") + (premultiplied ? ", premultiplied" : "") +
                             (associated_out ? ", associated output" : ""));
                const Source s = make_source(floats, premultiplied);
                OutputForm form;
                form.float_samples = floats;
                form.associated_alpha = associated_out;
                form.format = floats ? "openexr" : associated_out ? "tiff" : "png";
                EXPECT_EQ(convention_integers_unconverted(s.source), colour.integers_unconverted(s.source));
                EXPECT_EQ(convention_floats_unconverted(s.source, form), colour.floats_unconverted(s.source, form));

                const NodeFrame mine = convention_to_node(s.picture, s.source);
                const NodeFrame theirs = colour.to_node(s.picture, s.source, "the source");
                EXPECT_EQ(mine.picture.data, theirs.picture.data);
                EXPECT_TRUE(same_floats(mine.alpha, theirs.alpha));
                EXPECT_EQ(mine.hdr, theirs.hdr);
                EXPECT_EQ(mine.input_space, theirs.input_space);
                EXPECT_EQ(mine.working_space, theirs.working_space);
                EXPECT_EQ(mine.parts.above.data, theirs.parts.above.data);
                EXPECT_EQ(mine.parts.below.data, theirs.parts.below.data);
                EXPECT_EQ(mine.parts.above_scale, theirs.parts.above_scale);
                EXPECT_EQ(mine.parts.below_scale, theirs.parts.below_scale);
                expect_same_counts(mine.clipped, theirs.clipped);
                EXPECT_EQ(floats, !mine.parts.empty());

                // The parts as a node that changes them would give them back.
                SplitParts parts = mine.parts;
                if (!parts.above.data.empty()) parts.above = rendered(parts.above);
                const HostPicture result = rendered(mine.picture);
                const OutputFrame out = convention_from_node(result, mine, form, parts.empty() ? nullptr : &parts);
                const OutputFrame ref =
                    colour.from_node(result, theirs, colour.output_space(form), form, parts.empty() ? nullptr : &parts);
                EXPECT_EQ(out.picture.data, ref.picture.data);
                EXPECT_TRUE(same_floats(out.samples, ref.samples));
                EXPECT_EQ(out.space, ref.space);
                expect_same_counts(out.clipped, ref.clipped);
            }
}

TEST(ConventionColour, RefusesAnOutputOfTheOtherConvention)
{
    for (const bool floats : {false, true}) {
        const Source s = make_source(floats, false);
        OutputForm other;
        other.float_samples = !floats;
        EXPECT_FALSE(same_convention(s.source, other));
        const NodeFrame frame = convention_to_node(s.picture, s.source);
        EXPECT_THROW(convention_from_node(frame.picture, frame, other), std::invalid_argument);
    }
}

}  // namespace convention_colour_test
