// test-links: trellin_app_core
// The colour handling every host shares, without a colour configuration: the
// order of its steps on the way in (alpha clipped, colour freed of alpha, the
// space step, the range) and out (range undone, parts added, the input's
// alpha, the space step, alpha multiplied in), what it counts, and frames
// that come back as they went in through a node that changes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "apps/common/core/frame_colour.h"
#include "apps/common/core/hdr_curve.h"
#include "apps/common/core/sample_convert.h"

namespace {

using namespace trellin_app;

constexpr float inf = std::numeric_limits<float>::infinity();

// The node's picture of a frame, given back as the node would give it when it
// changes nothing: the picture and the parts as they went in.
struct Passed {
    HostPicture result;
    const SplitParts* parts;
};
Passed unchanged(const NodeFrame& frame)
{
    return {frame.picture, frame.parts.empty() ? nullptr : &frame.parts};
}

TEST(FrameColourIn, StepsRunInOrderAndCountWhatTheRangeClips)
{
    // Premultiplied RGBA: alpha 2 is clipped to 1 before colour is divided by
    // it; alpha 0.5 halves; colour beyond 0..1 after the space step is counted.
    std::vector<float> f = {0.4f,  0.2f, 0.1f, 2.0f,  // alpha clipped, colour kept
                            0.3f,  0.1f, 0.0f, 0.5f,  // divided: 0.6, 0.2, 0
                            -0.1f, 0.0f, 0.0f, 0.0f};
    std::vector<float> seen;
    const SpaceStep twice = [&seen](float* s, std::size_t pixels, int n) {
        seen.assign(s, s + pixels * std::size_t(n));
        for (std::size_t i = 0; i < pixels * std::size_t(n); i += std::size_t(n))
            for (int c = 0; c < 3; ++c) s[i + std::size_t(c)] *= 2.0f;
    };
    FloatsIn how;
    how.associated_alpha = true;
    NodeFrame frame;
    floats_into_node(f, HostPicture(3, 1, 4), how, twice, frame);

    // The step saw colour freed of alpha, alpha already clipped.
    ASSERT_EQ(seen.size(), 12u);
    EXPECT_FLOAT_EQ(seen[3], 1.0f);
    EXPECT_FLOAT_EQ(seen[4], 0.6f);
    EXPECT_FLOAT_EQ(seen[8], -0.1f);  // alpha 0: colour left as it is
    // After doubling: 1.2 above, -0.2 below; counted as their values, then clipped.
    EXPECT_EQ(frame.clipped.clipped, 2);
    EXPECT_EQ(frame.clipped.total, 9);
    EXPECT_FLOAT_EQ(frame.clipped.lowest, -0.2f);
    EXPECT_FLOAT_EQ(frame.clipped.highest, 1.2f);
    EXPECT_EQ(frame.clipped.alpha_clipped, 1);
    EXPECT_EQ(frame.clipped.alpha_total, 3);
    EXPECT_EQ(frame.picture.data[4], 65535);  // 1.2 clamped
    EXPECT_EQ(frame.picture.data[8], 0);
    EXPECT_EQ(frame.picture.data[3], 65535);
    EXPECT_EQ(frame.alpha, (std::vector<float>{1.0f, 0.5f, 0.0f}));
    EXPECT_EQ(frame.spare.size(), 12u);
}

TEST(FrameColourIn, IntegersThatNothingChangesGoInUntouched)
{
    HostPicture p(2, 1, 4);
    for (std::size_t i = 0; i < p.data.size(); ++i) p.data[i] = std::uint16_t(1000 * i + 7);
    const HostPicture before = p;
    FloatsIn how;
    how.float_samples = false;
    how.hdr = HdrMode::split;  // integers have nothing outside 0..1 to split
    NodeFrame frame;
    floats_into_node({}, p, how, {}, frame);
    EXPECT_EQ(frame.picture.data, before.data);
    EXPECT_EQ(frame.clipped.total, 0);
    EXPECT_TRUE(frame.alpha.empty());

    // The log curve does change them: they go through floats.
    how.hdr = HdrMode::log;
    NodeFrame curved;
    floats_into_node({}, p, how, {}, curved);
    EXPECT_EQ(curved.clipped.total, 6);
    EXPECT_EQ(curved.picture.data[0], from_unit_float(hdr_log::encode(to_unit_float(7))));
    EXPECT_EQ(curved.picture.data[3], before.data[3]);  // alpha is not curved
}

TEST(FrameColourRoundTrip, LogAndSplitGiveBackWhatCameIn)
{
    const std::vector<float> plate = {0.25f, 3.5f, -0.05f, 1.0f, 40.0f, 0.0f, 0.75f, 0.5f};
    for (HdrMode mode : {HdrMode::log, HdrMode::split}) {
        SCOPED_TRACE(mode == HdrMode::log ? "log" : "split");
        FloatsIn in;
        in.hdr = mode;
        NodeFrame frame;
        frame.hdr = mode;
        floats_into_node(plate, HostPicture(2, 1, 4), in, {}, frame);
        EXPECT_EQ(frame.clipped.clipped, 0);
        EXPECT_EQ(frame.parts.empty(), mode != HdrMode::split);

        Passed node = unchanged(frame);
        FloatsOut how;
        how.form.float_samples = true;
        how.input_alpha = true;
        OutputFrame out;
        ASSERT_TRUE(floats_out_of_node(node.result, frame, node.parts, how, {}, std::vector<float>(), out));
        ASSERT_EQ(out.samples.size(), plate.size());
        for (std::size_t i = 0; i < plate.size(); ++i) {
            // Within a 16-bit step of the value or of its scale.
            const double tolerance = 4e-4 * std::max(1.0, std::fabs(double(plate[i])));
            EXPECT_NEAR(out.samples[i], plate[i], tolerance) << "sample " << i;
        }
        EXPECT_EQ(out.samples[7], 0.5f);  // the input's alpha exactly
    }
}

TEST(FrameColourOut, OutputsCountOrReplaceWhatTheyCannotHold)
{
    NodeFrame frame;
    HostPicture result(2, 1, 4);
    result.data = {65535, 0, 32768, 65535, 0, 0, 0, 32768};
    const SpaceStep wild = [](float* s, std::size_t, int) {
        s[0] = 1.5f;
        s[1] = std::nanf("");
        s[2] = -inf;
    };

    // Integers clip: every sample outside 0..1 is counted.
    FloatsOut integers;
    OutputFrame clipped;
    ASSERT_TRUE(floats_out_of_node(result, frame, nullptr, integers, wild, std::vector<float>(), clipped));
    EXPECT_EQ(clipped.clipped.clipped, 3);
    EXPECT_EQ(clipped.clipped.non_finite, 2);
    EXPECT_EQ(clipped.clipped.total, 8);
    EXPECT_EQ(result.data[0], 65535);

    // Floats keep 1.5 and replace NaN and infinities.
    FloatsOut floats;
    floats.form.float_samples = true;
    OutputFrame kept;
    ASSERT_TRUE(floats_out_of_node(result, frame, nullptr, floats, wild, std::vector<float>(), kept));
    EXPECT_EQ(kept.samples[0], 1.5f);
    EXPECT_EQ(kept.samples[1], 0.0f);
    EXPECT_EQ(kept.samples[2], 0.0f);
    EXPECT_EQ(kept.clipped.clipped, 2);
    EXPECT_EQ(kept.clipped.total, 8);
}

TEST(FrameColourOut, AssociatedOutputsMultiplyTheInputsAlphaBackIn)
{
    NodeFrame frame;
    frame.alpha = {0.25f};
    HostPicture result(1, 1, 4);
    result.data = {65535, 32768, 0, 65535};  // the node's alpha is not the input's

    FloatsOut how;
    how.form.float_samples = true;
    how.form.associated_alpha = true;
    how.input_alpha = true;
    OutputFrame out;
    ASSERT_TRUE(floats_out_of_node(result, frame, nullptr, how, {}, std::vector<float>(), out));
    EXPECT_EQ(out.samples[3], 0.25f);
    EXPECT_EQ(out.samples[0], 0.25f);
    EXPECT_EQ(out.samples[1], to_unit_float(32768) * 0.25f);
    EXPECT_EQ(result.data[3], 16384);  // the 16-bit samples hold the same

    // Refracted alpha is the node's own.
    result.data = {65535, 32768, 0, 65535};
    how.input_alpha = false;
    OutputFrame own;
    ASSERT_TRUE(floats_out_of_node(result, frame, nullptr, how, {}, std::vector<float>(), own));
    EXPECT_EQ(own.samples[3], 1.0f);
}

TEST(FrameColourOut, AResultNothingChangesIsLeftAsItIs)
{
    NodeFrame frame;
    frame.alpha = {0.5f};
    HostPicture result(1, 1, 4);
    result.data = {1, 2, 3, 4};
    std::vector<float> storage(64, 1.0f);
    FloatsOut how;
    how.input_alpha = true;  // an integer output takes the node's 16-bit alpha
    OutputFrame out;
    EXPECT_FALSE(floats_out_of_node(result, frame, nullptr, how, {}, std::move(storage), out));
    EXPECT_TRUE(out.samples.empty());
    EXPECT_EQ(storage.size(), 64u);  // not taken
    EXPECT_EQ(result.data, (std::vector<std::uint16_t>{1, 2, 3, 4}));
}

}  // namespace
