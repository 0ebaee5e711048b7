// The frame entry: refusals, the order of its steps and what it leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "host/warnings.h"
#include "node/trellin_node.h"
#include "support/host_image.h"

namespace {

using testkit::HostImage;

// Puts `spy` in place of the node's effect, with the same control bindings.
void replace_effect(vx::TrellinNode& node, vx::Trellin* spy)
{
    static_cast<vx::TrellinInfo&>(*spy) = static_cast<vx::TrellinInfo&>(*node.effect);
    delete node.effect;
    node.effect = spy;
}

std::unique_ptr<vx::TrellinNode> make_node()
{
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->set_input_length(1);
    return node;
}

TEST(ProcessImage, RefusesMissingImagesWithoutTouchingTheNode)
{
    auto node = make_node();
    HostImage in(4, 4), out(4, 4);
    _image_str* inputs[] = {in.get(), nullptr};
    _image_str* no_inputs[] = {nullptr};
    WarningCapture warnings;

    EXPECT_EQ(node->process_image(0.0, inputs, nullptr), 0);
    EXPECT_EQ(node->process_image(0.0, no_inputs, out.get()), 0);
    EXPECT_EQ(node->process_image(0.0, no_inputs, nullptr), 0);
    EXPECT_EQ(warnings.messages(),
              (std::vector<std::string>{
                  "VXKIT plugin: process_image() called with no output image.",
                  "VXKIT plugin: process_image() called with no valid input images.",
                  "VXKIT plugin: process_image() called with no output image."}));
    EXPECT_TRUE(node->first_frame);
}

TEST(ProcessImage, RefusesSampleCountsOtherThanThreeOrFour)
{
    auto node = make_node();
    HostImage in(4, 4, 2), out(4, 4);
    _image_str* inputs[] = {in.get(), nullptr};
    WarningCapture warnings;
    EXPECT_EQ(node->process_image(0.0, inputs, out.get()), 0);
    ASSERT_EQ(warnings.messages().size(), 1u);
    EXPECT_EQ(warnings.messages()[0].rfind("VXKIT plugin: ", 0), 0u);
    EXPECT_NE(warnings.messages()[0].find(" 2 "), std::string::npos);
    EXPECT_TRUE(node->first_frame);
}

// An effect that leaves the picture as the node hands it over.
struct CopyEffect : vx::Trellin {
    void render() override
    {
        std::memcpy(output.image->pixels, input.image->pixels,
                    std::size_t(output.image->width) * output.image->height * 8);
    }
};

TEST(ProcessImage, PassesThePictureThroughAndClearsTheFirstFrameFlag)
{
    auto node = make_node();
    replace_effect(*node, new CopyEffect());
    HostImage in(6, 5), out(6, 5);
    testkit::fill_pattern(in);
    node->set_output_size(6, 5);
    _image_str* inputs[] = {in.get(), nullptr};
    ASSERT_EQ(node->process_image(3.0, inputs, out.get()), 1);
    EXPECT_FALSE(node->first_frame);
    EXPECT_EQ(node->effect->time, 3.0);
    EXPECT_EQ(node->effect->input_length, 1.0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c) {
                const std::uint16_t s = std::uint16_t(in.at(x, y, c) >> 1);
                ASSERT_EQ(out.at(x, y, c), std::uint16_t((s << 1) | (s >> 14)));
            }
}

TEST(ProcessImage, InputOfAnotherSizeIsFittedToTheOutput)
{
    auto node = make_node();
    replace_effect(*node, new CopyEffect());
    HostImage in(3, 2, 3), out(8, 6, 4);
    for (auto& s : in.samples)
        s = 40000;
    node->set_output_size(8, 6);
    _image_str* inputs[] = {in.get(), nullptr};
    ASSERT_EQ(node->process_image(0.0, inputs, out.get()), 1);
    // The tabulated kernel's weights sum to 1 only up to its 1/512 steps, so a
    // flat picture comes back flat within a fraction of a percent.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_NEAR(out.at(x, y, 0), 40000, 200);
            EXPECT_EQ(out.at(x, y, 3), 65535);  // a 3-sample input is opaque
        }
}

TEST(ProcessImage, OutputRecordCarriesThePixelAspectOrOneWhenNotPositive)
{
    struct Case {
        double host_aspect;
        double expected;
    };
    for (const Case c : {Case{1.5, 1.5}, Case{0.0, 1.0}, Case{-2.0, 1.0}}) {
        auto node = make_node();
        node->set_aspect(c.host_aspect);
        node->set_output_size(4, 4);
        HostImage in(4, 4), out(4, 4);
        _image_str* inputs[] = {in.get(), nullptr};
        struct Spy : vx::Trellin {
            double seen = -1.0;
            void render() override { seen = output.image->pixel_aspect; }
        };
        auto* spy = new Spy();
        replace_effect(*node, spy);
        ASSERT_EQ(node->process_image(0.0, inputs, out.get()), 1);
        EXPECT_EQ(spy->seen, c.expected) << c.host_aspect;
    }
}

TEST(ProcessImage, FirstFrameStepRunsOnceBeforeTheFirstRender)
{
    struct Spy : vx::Trellin {
        std::vector<std::string> calls;
        void on_first_frame() override { calls.push_back("first"); }
        void render() override { calls.push_back("render"); }
    };
    auto node = make_node();
    auto* spy = new Spy();
    replace_effect(*node, spy);
    node->set_output_size(2, 2);
    HostImage in(2, 2), out(2, 2);
    _image_str* inputs[] = {in.get(), in.get(), nullptr};  // only the first input counts
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(node->process_image(double(i), inputs, out.get()), 1);
    EXPECT_EQ(spy->calls, (std::vector<std::string>{"first", "render", "render", "render"}));
}

}  // namespace
