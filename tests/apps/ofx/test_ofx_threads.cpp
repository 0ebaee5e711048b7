// The OpenFX plug-in under threads: instances rendering at once, the host's
// abort mid-frame, and a frame whose memory cannot be had.
// test-labels: threaded
// test-builds: trellin_ofx
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

#include "support/ofx_bundle_host.h"
#include "support/trellin_cli_support.h"

// Allocations of a megabyte or more fail while this is set: the memory a
// frame needs, refused. Every form of new and delete is replaced together, so
// the sanitizers see malloc and free paired; none is inlined, so the
// compiler does not take free for the partner of new.
std::atomic<bool> refuse_large_allocations{false};

void* allocate(std::size_t size)
{
    if (refuse_large_allocations.load() && size >= (std::size_t(1) << 20)) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

[[gnu::noinline]] void* operator new(std::size_t size)
{
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size)
{
    return operator new(size);
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace {

using namespace trellin_test;
using namespace ofx_bundle;

class OfxPluginThreads : public ::testing::Test {};

// Three instances render at the same time, in 16-bit, float and 8-bit, each
// as it renders alone.
TEST_F(OfxPluginThreads, InstancesOfEveryDepthRenderAtOnce)
{
    ofxtest::TestHost& h = host();
    const int w = 160, ht = 90;
    const char* depths[] = {kOfxBitDepthShort, kOfxBitDepthFloat, kOfxBitDepthByte};
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<std::vector<unsigned char>> alone;
    for (int k = 0; k < 3; ++k) {
        auto e = h.create(layout_of(w, ht, depths[k]));
        ASSERT_TRUE(e);
        if (k == 0) give_picture(*e, pattern<std::uint16_t>(w, ht, 4, 11, 65535));
        if (k == 1) {
            std::vector<float> floats;
            for (const std::uint16_t s : pattern<std::uint16_t>(w, ht, 4, 12, 65535)) floats.push_back(s / 65535.0f);
            give_picture(*e, floats);
            set_param(*e, "CellShape", {5});
            set_param(*e, "ChromaticAb", {40});
        }
        if (k == 2) {
            give_picture(*e, pattern<std::uint8_t>(w, ht, 4, 13, 255));
            set_param(*e, "LightActive", {1});
        }
        ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
        alone.push_back(e->clips[kOfxImageEffectOutputClipName]->last->storage);
        effects.push_back(std::move(e));
    }

    for (int round = 0; round < 3; ++round) {
        OfxStatus status[3] = {kOfxStatFailed, kOfxStatFailed, kOfxStatFailed};
        std::vector<std::thread> threads;
        for (int k = 0; k < 3; ++k) threads.emplace_back([&, k] { status[k] = h.render(*effects[k], 0.0); });
        for (std::thread& t : threads) t.join();
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(status[k], kOfxStatOK) << depths[k];
            EXPECT_TRUE(effects[k]->clips[kOfxImageEffectOutputClipName]->last->storage == alone[k]) << depths[k];
        }
    }
    for (auto& e : effects) h.destroy(e);
}

// The host's abort stops the frame: the render fails without a message, and
// the next frame renders whole.
TEST_F(OfxPluginThreads, HostAbortCancelsTheFrame)
{
    ofxtest::TestHost& h = host();
    const int w = 1920, ht = 1080;
    auto e = h.create(layout_of(w, ht));
    ASSERT_TRUE(e);
    give_picture(*e, pattern<std::uint16_t>(w, ht, 4, 2, 65535));
    set_param(*e, "ChromaticAb", {30});
    set_param(*e, "LightActive", {1});
    ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
    const auto whole = output_picture<std::uint16_t>(*e);

    const std::size_t messages = h.messages().size();
    std::thread aborter([&e] {
        // Once the render polls, it is under way.
        while (e->abort_polls.load() < 2) std::this_thread::sleep_for(std::chrono::microseconds(200));
        e->abort = true;
    });
    e->abort_polls = 0;
    EXPECT_EQ(h.render(*e, 0.0), kOfxStatFailed);
    aborter.join();
    EXPECT_EQ(h.messages().size(), messages);
    e->abort = false;
    ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
    EXPECT_TRUE(output_picture<std::uint16_t>(*e) == whole);
    h.destroy(e);
}

// A frame whose memory cannot be had fails with the host told why; nothing
// crashes, and the next frame renders whole once memory is there again.
TEST_F(OfxPluginThreads, AFrameWithoutMemoryFailsAndTheNextRenders)
{
    ofxtest::TestHost& h = host();
    const int w = 640, ht = 360;
    for (const char* depth : {kOfxBitDepthShort, kOfxBitDepthFloat}) {
        SCOPED_TRACE(depth);
        ImageLayout l = layout_of(w, ht, depth);
        auto e = h.create(l);
        ASSERT_TRUE(e);
        if (l.depth == kOfxBitDepthShort)
            give_picture(*e, pattern<std::uint16_t>(w, ht, 4, 5, 65535));
        else
            give_picture(*e, std::vector<float>(std::size_t(w) * ht * 4, 0.25f));
        ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
        const std::vector<unsigned char> whole = e->clips[kOfxImageEffectOutputClipName]->last->storage;
        // What the plug-in keeps between frames is given back, so the next
        // frame needs its memory afresh.
        ASSERT_EQ(h.act(*e, kOfxImageEffectActionEndSequenceRender), kOfxStatOK);
        const std::size_t messages = h.messages().size();
        refuse_large_allocations = true;
        const OfxStatus failed = h.render(*e, 0.0);
        refuse_large_allocations = false;
        EXPECT_NE(failed, kOfxStatOK);
        ASSERT_EQ(h.messages().size(), messages + 1);
        EXPECT_NE(h.messages().back().find("OfxMessageError: Trellin: "), std::string::npos) << h.messages().back();
        ASSERT_EQ(h.render(*e, 0.0), kOfxStatOK);
        EXPECT_TRUE(e->clips[kOfxImageEffectOutputClipName]->last->storage == whole);
        h.destroy(e);
    }
}

}  // namespace
