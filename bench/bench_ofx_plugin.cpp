// Frames per second of the OpenFX plug-in in a host (the tests' OpenFX host,
// which loads the bundle as hosts do), beside the node alone in the same run:
// a 1920 x 1080 frame rendered through the plug-in's render action in 16 bits
// and in floats, and the same frame handed straight to a node of the module.
// The plug-in's own cost is reading the host's image into the node's picture
// and writing the result back (floats: through the colour handling of
// `trellin render`). The "fps" counter is frames per second of wall time,
// "cpu_ms/frame" the processor time of all the process's threads per frame
// (less dependent on what else the machine runs than the wall time).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench/node_alone.h"
#include "tests/apps/ofx_test_host.h"

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

void count(benchmark::State& state, double cpu_start)
{
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    if (state.iterations() > 0)
        state.counters["cpu_ms/frame"] =
            1000.0 * (trellin_bench::process_seconds() - cpu_start) / double(state.iterations());
}

ofxtest::TestHost& host()
{
    static ofxtest::TestHost h;
    static const bool loaded = [] {
        std::string error;
        if (!h.load(TRELLIN_OFX_BUNDLE, error)) std::fprintf(stderr, "cannot load the bundle: %s\n", error.c_str());
        return h.plugin != nullptr;
    }();
    (void)loaded;
    return h;
}

// A host hands out images it already holds: the source is made once and
// copied into every image the plug-in fetches.
template <class T>
std::function<void(ofxtest::Image&, double)> source_of(T (*sample)(std::size_t))
{
    auto picture = std::make_shared<std::vector<T>>(std::size_t(width) * height * 4);
    for (std::size_t i = 0; i < picture->size(); ++i) (*picture)[i] = sample(i);
    return [picture](ofxtest::Image& image, double) {
        const ofxtest::ImageLayout& l = image.layout;
        for (int y = l.bounds.y1; y < l.bounds.y2; ++y)
            std::memcpy(image.pixel(l.bounds.x1, y), picture->data() + std::size_t(y - l.bounds.y1) * width * 4,
                        std::size_t(width) * 4 * sizeof(T));
    };
}

// `highlights`: float samples reach 1.02, so the frame renders twice (its
// part above 1 goes through the glass too); otherwise they stay within 0..1.
void BM_Plugin(benchmark::State& state, const char* depth, bool highlights = false)
{
    ofxtest::TestHost& h = host();
    if (h.plugin == nullptr) {
        state.SkipWithError("the bundle did not load");
        return;
    }
    ofxtest::ImageLayout layout;
    layout.depth = depth;
    layout.bounds = {0, 0, width, height};
    auto effect = h.create(layout);
    if (!effect) {
        state.SkipWithError("no instance");
        return;
    }
    auto& source = *effect->clips[kOfxImageEffectSimpleSourceClipName];
    // The host's own work is not the plug-in's: its images come from its cache.
    source.cached = true;
    effect->clips[kOfxImageEffectOutputClipName]->cached = true;
    if (std::strcmp(depth, kOfxBitDepthFloat) == 0 && highlights)
        source.fill = source_of<float>([](std::size_t i) { return i % 4 == 3 ? 1.0f : float(i % 1021) / 1000.0f; });
    else if (std::strcmp(depth, kOfxBitDepthFloat) == 0)
        source.fill = source_of<float>([](std::size_t i) { return i % 4 == 3 ? 1.0f : float(i % 1001) / 1000.0f; });
    else
        source.fill = source_of<std::uint16_t>(
            [](std::size_t i) { return std::uint16_t(i % 4 == 3 ? 65535 : (i * 61) % 65536); });
    // One frame first, outside the measure: the host's images and the
    // plug-in's buffers are made once for a shot, not per frame.
    if (h.render(*effect, 0.0) != kOfxStatOK) {
        state.SkipWithError("render failed");
        h.destroy(effect);
        return;
    }
    const double cpu_start = trellin_bench::process_seconds();
    for (auto _ : state) {
        if (h.render(*effect, 0.0) != kOfxStatOK) {
            state.SkipWithError("render failed");
            break;
        }
    }
    count(state, cpu_start);
    h.destroy(effect);
}

void BM_NodeAlone(benchmark::State& state)
{
    const double cpu_start = trellin_bench::process_seconds();
    trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height));
    count(state, cpu_start);
}

BENCHMARK(BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Plugin, short, kOfxBitDepthShort)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Plugin, float, kOfxBitDepthFloat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Plugin, float_highlights, kOfxBitDepthFloat, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
