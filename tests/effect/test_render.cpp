// test-labels: threaded
// Whole renders through a real node, and golden checksums that hold every output bit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "effect/kernel_choice.h"
#include "host/smp_pool.h"
#include "host/warnings.h"
#include "pixels/frame_memory.h"
#include "support/golden_picture.h"
#include "support/node_runner.h"
#include "support/picture_diff.h"

namespace {

using testkit::HostImage;
using testkit::Settings;

HostImage& picture(int w = 61, int h = 47)
{
    static std::map<std::pair<int, int>, std::unique_ptr<HostImage>> cache;
    auto& slot = cache[{w, h}];
    if (!slot) {
        slot = std::make_unique<HostImage>(w, h, 4);  // ramps and checks with partial alpha
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                slot->at(x, y, 0) = std::uint16_t(65535 * x / (w > 1 ? w - 1 : 1));
                slot->at(x, y, 1) = std::uint16_t(65535 * y / (h > 1 ? h - 1 : 1));
                slot->at(x, y, 2) = std::uint16_t(((x / 4 + y / 4) % 2) * 50000 + 7000);
                slot->at(x, y, 3) = std::uint16_t(30000 + 300 * ((x + y) % 100));
            }
    }
    return *slot;
}

std::vector<std::uint16_t> render(const Settings& settings, bool refract_alpha = false, HostImage* in = nullptr,
                                  vx::Kernels kernels = vx::default_kernels())
{
    auto node = testkit::make_node(settings);
    node->refract_alpha = refract_alpha;
    node->kernels = kernels;
    return testkit::render(*node, in ? *in : picture());
}

// What the node gives back when the effect leaves the picture alone.
std::vector<std::uint16_t> passthrough(const HostImage& in)
{
    std::vector<std::uint16_t> out(in.samples.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint16_t s = std::uint16_t(in.samples[i] >> 1);
        out[i] = std::uint16_t((s << 1) | (s >> 14));
    }
    return out;
}

const Settings glass = {{"CellShape", "Hexagon"}, {"CellSize", "0.3"},   {"Cell Count X", "4"},
                        {"Cell Count Y", "4"},    {"Black Height", "5"}, {"White Height", "40"}};

Settings with(Settings base, const Settings& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

TEST(Render, ChromaticPathStartsAboveOneHundredthOfAPercent)
{
    const auto plain = render(glass);
    EXPECT_NE(plain, passthrough(picture()));
    EXPECT_EQ(render(with(glass, {{"ChromaticAb", "0.01"}})), plain);
    EXPECT_NE(render(with(glass, {{"ChromaticAb", "0.02"}})), plain);
}

TEST(Render, OutputKeepsTheInputAlphaUnlessAlphaIsRefracted)
{
    const auto expected = passthrough(picture());
    const Settings map = with(glass, {{"ShowMap", "on"}});
    for (const Settings& s :
         {glass, with(glass, {{"ChromaticAb", "5"}}), map, with(glass, {{"Light Active", "on"}, {"Edge", "Black"}})}) {
        const auto out = render(s);
        for (std::size_t i = 3; i < out.size(); i += 4) ASSERT_EQ(out[i], expected[i]) << "sample " << i;
    }
    // Refracted alpha: the show-map picture has none.
    const auto refracted_map = render(map, true);
    for (std::size_t i = 3; i < refracted_map.size(); i += 4) ASSERT_EQ(refracted_map[i], 0);
    // Through the glass, alpha is bent like the colour.
    EXPECT_NE(render(glass, true), render(glass, false));
}

TEST(Render, RunningOutOfMemoryShowsTheInputAndLosesNothing)
{
    // Allocation n fails: the frame is refused (its own records) or shows the
    // input, until n is past the last allocation and the frame is whole.
    const auto full = render(glass);
    WarningCapture warnings;
    int input_copies = 0, n = 0;
    for (; n < 40; ++n) {
        auto node = testkit::make_node(glass);
        HostImage out(61, 47, 4);
        node->set_output_size(61, 47);
        _image_str* inputs[] = {picture().get(), nullptr};
        vx::fail_frame_alloc_after(n);
        const int done = node->process_image(0.0, inputs, out.get());
        vx::fail_frame_alloc_after(-1);
        if (done && out.samples == full) break;
        ASSERT_TRUE(!done || out.samples == passthrough(picture())) << "allocation " << n;
        input_copies += done;
    }
    EXPECT_LT(n, 40);            // the whole frame was reached
    EXPECT_GE(input_copies, 6);  // cell map, four buffers, pyramid
}

TEST(Render, TinyPicturesPassThroughAndShowAGreyMap)
{
    const Settings one_cell = {
        {"CellSize", "1"}, {"Cell Count X", "1"}, {"Cell Count Y", "1"}, {"CellShape", "Square"}};
    for (auto [w, h] : {std::pair{1, 1}, {1, 6}, {6, 1}, {5, 2}, {2, 3}}) {
        HostImage& in = picture(w, h);
        if (w < 2 || h < 3) {
            EXPECT_EQ(render(one_cell, false, &in), passthrough(in)) << w << "x" << h;
        }
        const auto map = render(with(one_cell, {{"ShowMap", "on"}}), false, &in);
        for (std::size_t i = 0; i < map.size(); i += 4) {
            EXPECT_EQ(map[i], map[i + 1]);
            EXPECT_EQ(map[i], map[i + 2]);
        }
    }
}

// Each case renders the same bits with the fast and the reference kernels
// and whatever the processor count, matches its golden checksum and its
// golden picture (tests/effect/golden/NAME.png, 16-bit RGBA), and says where
// it differs when it does not. TRELLIN_WRITE_GOLDEN=1 writes the pictures
// anew from the reference kernels on one processor.
struct Golden {
    const char* name;
    Settings settings;
    bool refract_alpha;
    std::uint64_t checksum;
};

const Golden goldens[] = {
    {"triangle", with(glass, {{"CellShape", "Triangle"}}), false, 0x2637aa92a82815fcull},
    {"square", with(glass, {{"CellShape", "Square"}}), false, 0x233b9eaaf8792925ull},
    {"pentagon", with(glass, {{"CellShape", "Pentagon"}}), false, 0x0849caf5102ebf62ull},
    {"hexagon", glass, false, 0x057544b50cd69430ull},
    {"octagon", with(glass, {{"CellShape", "Octagon"}, {"Cell Angle", "30"}}), false, 0xb09ec740e9a3607bull},
    {"dodecagon", with(glass, {{"CellShape", "Dodecagon"}, {"Tweak_X", "0.6"}}), false, 0x42667eba3c5a4e86ull},
    {"chromatic_lit_wrap",
     with(glass, {{"ChromaticAb", "1"},
                  {"Light Active", "on"},
                  {"Smoothing", "3"},
                  {"Edge", "Wrap"},
                  {"Light", "1,0.8,0.5,1"},
                  {"Back Bright", "70"}}),
     false, 0xdb00ba4f3b3095c1ull},
    {"black_edge_index", with(glass, {{"Edge", "Black"}, {"Index", "2.5"}, {"Invert map", "on"}}), false,
     0x987d48721e8fbcb2ull},
    {"refracted_alpha_chromatic", with(glass, {{"ChromaticAb", "3"}}), true, 0x6b79585ab4b76b42ull},
    {"show_map", with(glass, {{"ShowMap", "on"}, {"CellCurve", "2.5"}}), false, 0x88db6e5b8adc9499ull},
};

TEST(Render, GoldenPicturesAndChecksumsWithEitherKernelsOnAnyNumberOfProcessors)
{
    const int w = picture().image.width, h = picture().image.height;
    for (const Golden& g : goldens) {
        const std::string path = std::string(TRELLIN_SOURCE_DIR) + "/tests/effect/golden/" + g.name + ".png";
        smp_set_numprocs(1);
        if (std::getenv("TRELLIN_WRITE_GOLDEN")) {
            ASSERT_TRUE(testkit::write_golden_picture(
                path, render(g.settings, g.refract_alpha, nullptr, vx::Kernels::reference), w, h))
                << path;
        }
        const auto golden = testkit::read_golden_picture(path, w, h);
        ASSERT_FALSE(golden.empty()) << "cannot read " << path;
        EXPECT_EQ(testkit::checksum(golden), g.checksum)
            << g.name << std::hex << ": the picture's checksum is 0x" << testkit::checksum(golden);
        for (vx::Kernels kernels : {vx::Kernels::reference, vx::Kernels::fast})
            for (int procs : {1, 2, 3, 7}) {
                smp_set_numprocs(procs);
                EXPECT_EQ(testkit::picture_difference(golden, render(g.settings, g.refract_alpha, nullptr, kernels), w),
                          "")
                    << g.name << (kernels == vx::Kernels::fast ? ", fast kernels" : ", reference kernels") << ", "
                    << procs << " processors";
            }
    }
    smp_set_numprocs(1);
}

}  // namespace
