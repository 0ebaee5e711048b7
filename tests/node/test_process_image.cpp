// The frame entry: refusals, the order of its steps and what it leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "host/warnings.h"
#include "contract/node_flags.h"
#include "node/trellin_node.h"
#include "support/host_image.h"

namespace {

using testkit::HostImage;
using Strings = std::vector<std::string>;

// A node whose effect is `spy`, with the same control bindings.
std::unique_ptr<vx::TrellinNode> make_node(vx::Trellin* spy = nullptr)
{
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->set_input_length(1);
    if (spy) {
        static_cast<vx::TrellinInfo&>(*spy) = static_cast<vx::TrellinInfo&>(*node->effect);
        spy->host_node = node.get();
        delete std::exchange(node->effect, spy);
    }
    return node;
}

struct CopyEffect : vx::Trellin {
    bool reads_host_input() const override { return false; }
    bool render(const vx::RenderRequest& r) override
    {
        std::memcpy(r.output->pixels, r.input->pixels, std::size_t(r.output->width) * r.output->height * 8);
        return false;
    }
};

TEST(ProcessImage, TheHostTurnsAlphaRefractionOnThroughTheNodeFlags)
{
    auto node = make_node();
    EXPECT_FALSE(node->refract_alpha);
    node->set_flags(vx::node_flag_refract_alpha | 0x80u);
    EXPECT_TRUE(node->refract_alpha);
    node->set_flags(0x80u);  // a flag the node does not know turns nothing on
    EXPECT_FALSE(node->refract_alpha);
}

TEST(ProcessImage, ANewNodeTakesItsKernelsFromTheEnvironment)
{
    const char* held = std::getenv("TRELLIN_KERNELS");
    const std::string kept = held ? held : "";
    using K = vx::Kernels;
    for (auto [text, kernels] : {std::pair{"reference", K::reference}, {"fast", K::fast}, {"REFERENCE", K::fast}}) {
        setenv("TRELLIN_KERNELS", text, 1);
        EXPECT_EQ(make_node()->kernels, kernels) << text;
    }
    unsetenv("TRELLIN_KERNELS");
    EXPECT_EQ(make_node()->kernels, K::fast);
    if (held) setenv("TRELLIN_KERNELS", kept.c_str(), 1);
}

TEST(ProcessImage, RefusesMissingImagesAndOddSampleCountsWithoutTouchingTheNode)
{
    auto node = make_node();
    HostImage in(4, 4), two(4, 4, 2), out(4, 4);
    _image_str *inputs[] = {in.get(), nullptr}, *no_inputs[] = {nullptr}, *two_samples[] = {two.get(), nullptr};
    WarningCapture warnings;

    for (auto [ins, o] : {std::pair{inputs, (_image_str*)nullptr}, {no_inputs, out.get()}, {two_samples, out.get()}})
        EXPECT_EQ(node->process_image(0.0, ins, o), 0);
    const Strings& m = warnings.messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], "VXKIT plugin: process_image() called with no output image.");
    EXPECT_EQ(m[1], "VXKIT plugin: process_image() called with no valid input images.");
    EXPECT_TRUE(m[2].rfind("VXKIT plugin: ", 0) == 0 && m[2].find(" 2 ") != std::string::npos) << m[2];
    EXPECT_TRUE(node->first_frame);
}

TEST(ProcessImage, PassesThePictureThroughFittedToTheOutputAndClearsTheFirstFrameFlag)
{
    auto node = make_node(new CopyEffect());
    HostImage in(6, 5), out(6, 5), small(3, 2, 3), big(8, 6, 4);
    const std::uint16_t values[] = {65535, 40001, 1, 32768}, back[] = {65535, 40001, 0, 32769};
    for (std::size_t i = 0; i < in.samples.size(); ++i) in.samples[i] = values[i % 4];
    node->set_output_size(6, 5);
    _image_str* inputs[] = {in.get(), nullptr};
    ASSERT_EQ(node->process_image(3.0, inputs, out.get()), 1);
    EXPECT_TRUE(!node->first_frame && node->effect->time == 3.0 && node->effect->input_length == 1.0);
    for (std::size_t i = 0; i < out.samples.size(); ++i) ASSERT_EQ(out.samples[i], back[i % 4]) << i;

    // An input of another size is fitted to the output, flat within the kernel table's 1/512 steps.
    small.samples.assign(small.samples.size(), 40000);
    node->set_output_size(8, 6);
    inputs[0] = small.get();
    ASSERT_EQ(node->process_image(0.0, inputs, big.get()), 1);
    EXPECT_NEAR(big.at(7, 5, 0), 40000, 200);
}

TEST(ProcessImage, TheFirstFrameStepRunsOnceAndTheOutputCarriesThePixelAspect)
{
    struct Spy : vx::Trellin {
        Strings calls;
        double aspect = -1.0;
        void on_first_frame() override { calls.push_back("first"); }
        bool render(const vx::RenderRequest& r) override
        {
            calls.push_back("render"), aspect = r.output->pixel_aspect;
            return false;
        }
    };
    for (auto [host_aspect, expected] : {std::pair{1.5, 1.5}, {0.0, 1.0}, {-2.0, 1.0}}) {
        Spy* spy = new Spy();
        auto node = make_node(spy);
        node->set_aspect(host_aspect);
        node->set_output_size(2, 2);
        HostImage in(2, 2), out(2, 2);
        _image_str* inputs[] = {in.get(), in.get(), nullptr};  // only the first input counts
        for (int i = 0; i < 3; ++i) ASSERT_EQ(node->process_image(double(i), inputs, out.get()), 1);
        EXPECT_EQ(spy->calls, (Strings{"first", "render", "render", "render"}));
        EXPECT_EQ(spy->aspect, expected) << host_aspect;
    }
}

// A cancelled frame: the host asks for it before the render or while it runs
// (here from inside the render, as another thread would); the render stops at
// its next poll, the output keeps what it held and the frame is not done.
TEST(ProcessImage, ACancelledFrameIsNotReportedDoneAndLeavesTheOutputAsItWas)
{
    struct Rows : vx::Trellin {
        int rows_done = 0;
        bool asked = false;
        vx::TrellinNode* node = nullptr;
        bool render(const vx::RenderRequest& r) override
        {
            for (int y = 0; y < r.output->height; ++y) {
                if (abort_requested()) return false;
                if (y == 2 && !std::exchange(asked, true)) node->request_abort();
                std::memset(r.output->rows[y], 0, std::size_t(r.output->width) * 8);
                ++rows_done;
            }
            return false;
        }
    };
    Rows* rows = new Rows();
    std::unique_ptr<vx::TrellinNode> nodes[] = {make_node(), make_node(rows)};
    rows->node = nodes[1].get();
    nodes[0]->request_abort();
    WarningCapture warnings;
    for (auto& node : nodes) {
        node->set_output_size(4, 6);
        HostImage in(4, 6), out(4, 6);
        out.samples.assign(out.samples.size(), 7);
        _image_str* inputs[] = {in.get(), nullptr};
        EXPECT_EQ(node->process_image(0.0, inputs, out.get()), 0);
        EXPECT_EQ(out.samples, std::vector<std::uint16_t>(out.samples.size(), 7));
        node->clear_abort();
        EXPECT_EQ(node->process_image(0.0, inputs, out.get()), 1);
        EXPECT_NE(out.samples, std::vector<std::uint16_t>(out.samples.size(), 7));
    }
    EXPECT_EQ(rows->rows_done, 3 + 6);
    EXPECT_TRUE(warnings.messages().empty());
}

}  // namespace
