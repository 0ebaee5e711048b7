// The element's filter with its settings changed on one thread while frames
// render on another: every frame renders with one whole set of settings,
// never a mix of two.
// test-labels: threaded
// test-links: trellin_gst_host
// test-builds: trellin_gst
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "apps/gstreamer/glass_filter.h"
#include "support/trellin_cli_support.h"

namespace {

using namespace trellin_test;

using GlassFilterThreads = TrellinTest;

// A w x h RGBA64_LE frame over `samples`.
struct Frame {
    Frame(std::vector<std::uint16_t>& samples, int w, int h)
    {
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGBA64_LE, guint(w), guint(h));
        buffer = gst_buffer_new_wrapped_full(GstMemoryFlags(0), samples.data(), samples.size() * 2, 0,
                                             samples.size() * 2, nullptr, nullptr);
        mapped = gst_video_frame_map(&frame, &info, buffer, GST_MAP_READWRITE);
    }
    ~Frame()
    {
        if (mapped) gst_video_frame_unmap(&frame);
        gst_buffer_unref(buffer);
    }
    GstVideoInfo info;
    GstBuffer* buffer;
    GstVideoFrame frame;
    bool mapped;
};

TEST_F(GlassFilterThreads, AFrameRendersWithOneWholeProjectOrTheOther)
{
    ::setenv("TRELLIN_MODULE", TRELLIN_BIN_DIR "/TrellinVx.node", 1);
    ::setenv("GST_REGISTRY_UPDATE", "no", 1);  // no plug-ins needed: frames only
    gst_init(nullptr, nullptr);
    const trellin_gst::Effect* effect = trellin_gst::effect();
    ASSERT_NE(effect, nullptr) << trellin_gst::load_error();

    spit(dir / "a.json", R"({"controls": {"CellShape": "Square", "Index": 2}})");
    spit(dir / "b.json",
         R"({"controls": {"CellShape": "Octagon", "Index": 3, "Light Active": true, "ShowMap": true}})");
    const int w = 32, h = 24;
    std::vector<std::uint16_t> input = pattern<std::uint16_t>(w, h, 4, 9, 65535);
    ReferenceNode a, b;
    a.set("CellShape", 1);
    a.set("Index", 2);
    b.set("CellShape", 4);
    b.set("Index", 3);
    b.set("Light Active", 1);
    b.set("ShowMap", 1);
    const std::vector<std::uint16_t> as_a = a.render(input, w, h, 4), as_b = b.render(input, w, h, 4);
    ASSERT_NE(as_a, as_b);

    trellin_gst::GlassFilter filter(effect);
    ASSERT_EQ(filter.set_project(path("a.json").c_str()), "");
    ASSERT_EQ(filter.start(), "");
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int k = 0; !done; ++k) EXPECT_EQ(filter.set_project(path(k % 2 ? "a.json" : "b.json").c_str()), "");
    });
    int seen[2] = {0, 0};
    for (int frame = 0; frame < 30; ++frame) {
        std::vector<std::uint16_t> output(input.size());
        Frame in(input, w, h), out(output, w, h);
        ASSERT_TRUE(in.mapped && out.mapped);
        ASSERT_EQ(filter.render(in.frame, out.frame, 0.0, 1.0), "");
        ASSERT_TRUE(output == as_a || output == as_b) << "frame " << frame;
        ++seen[output == as_b];
    }
    done = true;
    writer.join();
    filter.stop();
    EXPECT_GT(seen[0] + seen[1], 0);
}

}  // namespace
