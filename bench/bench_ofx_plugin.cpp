// Frames per second of the OpenFX plug-in in a host (the tests' OpenFX host,
// which loads the bundle as hosts do), beside the node alone in the same run:
// a 1920 x 1080 frame rendered through the plug-in's render action in 16 bits
// and in floats, and the same frame handed straight to a node of the module.
// The plug-in's own cost is reading the host's image into the node's picture
// and writing the result back (floats: through the colour handling of
// `trellin render`). The "fps" counter is frames per second of wall time,
// "cpu_ms/frame" the processor time of all the process's threads per frame
// (less dependent on what else the machine runs than the wall time).
// "ShareOfNode" renders the node alone and the plug-in by turns, frame by
// frame, and gives the plug-in's rate as a share of the node's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "bench/node_alone.h"
#include "tests/support/ofx_test_host.h"

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

// An instance of the plug-in with a 1920 x 1080 source of `depth`, its
// first frame rendered (outside any measure: the host's images and the
// plug-in's buffers are made once for a shot, not per frame). `highlights`:
// float samples reach 1.02, so the frame renders twice (its part above 1
// goes through the glass too); otherwise they stay within 0..1.
struct PluginFrames {
    ofxtest::TestHost& h = host();
    std::unique_ptr<ofxtest::Effect> effect;
    std::string error;

    PluginFrames(const char* depth, bool highlights)
    {
        if (h.plugin == nullptr) {
            error = "the bundle did not load";
            return;
        }
        ofxtest::ImageLayout layout;
        layout.depth = depth;
        layout.bounds = {0, 0, width, height};
        effect = h.create(layout);
        if (!effect) {
            error = "no instance";
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
        if (!render()) error = "render failed";
    }
    ~PluginFrames()
    {
        if (effect) h.destroy(effect);
    }
    bool render() { return h.render(*effect, 0.0) == kOfxStatOK; }
};

void BM_Plugin(benchmark::State& state, const char* depth, bool highlights = false)
{
    PluginFrames plugin(depth, highlights);
    if (!plugin.error.empty()) {
        state.SkipWithError(plugin.error.c_str());
        return;
    }
    const double cpu_start = trellin_bench::process_seconds();
    for (auto _ : state) {
        if (!plugin.render()) {
            state.SkipWithError("render failed");
            break;
        }
    }
    count(state, cpu_start);
}

// The plug-in's rate as a share of the node's, frame by frame: each
// iteration renders one frame through the node alone and one through the
// plug-in, so that the machine's drift in speed falls on both alike.
// "share" is the node's time over the plug-in's, summed over the run.
void BM_ShareOfNode(benchmark::State& state, const char* depth)
{
    PluginFrames plugin(depth, false);
    if (!plugin.error.empty()) {
        state.SkipWithError(plugin.error.c_str());
        return;
    }
    const trellin_app::NodeModule module = trellin_app::NodeModule::find(TRELLIN_BIN_DIR);
    trellin_app::NodePtr node = module.create_node();
    const trellin_app::HostPicture picture = trellin_bench::frame_picture(width, height);
    trellin_app::HostPicture result;
    if (trellin_app::render_frame(*node, picture, result, 0.0) != 1) {
        state.SkipWithError("render failed");
        return;
    }
    using clock = std::chrono::steady_clock;
    clock::duration node_time{}, plugin_time{};
    for (auto _ : state) {
        const auto t0 = clock::now();
        const bool node_done = trellin_app::render_frame(*node, picture, result, 0.0) == 1;
        const auto t1 = clock::now();
        const bool plugin_done = plugin.render();
        node_time += t1 - t0;
        plugin_time += clock::now() - t1;
        if (!node_done || !plugin_done) {
            state.SkipWithError("render failed");
            break;
        }
    }
    const double node_ms = std::chrono::duration<double, std::milli>(node_time).count();
    const double plugin_ms = std::chrono::duration<double, std::milli>(plugin_time).count();
    if (state.iterations() > 0 && plugin_ms > 0) {
        state.counters["node_ms"] = node_ms / double(state.iterations());
        state.counters["plugin_ms"] = plugin_ms / double(state.iterations());
        state.counters["share_%"] = 100.0 * node_ms / plugin_ms;
    }
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
BENCHMARK_CAPTURE(BM_ShareOfNode, short, kOfxBitDepthShort)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ShareOfNode, float, kOfxBitDepthFloat)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
