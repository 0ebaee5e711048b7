// Float frames at 1920 x 1080 through the whole colour path (into the node's
// range, the render, back to floats) in each way of treating values outside
// 0..1: --hdr none, which clips them, and --hdr split, which renders the part
// above 1 as a second picture, on a plate with a sun and glints up to 41,
// and split again on the same plate scaled into 0..1 (nothing above 1: one
// render, as none). Light and chromatic aberration on, on every processor.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "apps/common/core/hdr_split.h"
#include "apps/common/picture/picture_colour.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_app;

constexpr int w = 1920;
constexpr int h = 1080;

// A sky gradient with a sun of radius 60 reaching 41 and a few glints of 8.
std::vector<float> plate(bool highlights)
{
    std::vector<float> p(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float* px = &p[(std::size_t(y) * w + std::size_t(x)) * 4];
            const float sky = 0.1f + 0.8f * float(y) / float(h);
            px[0] = sky;
            px[1] = sky * 0.6f;
            px[2] = sky * 0.35f;
            px[3] = 1.0f;
            const double d = std::hypot(x - 1200.0, y - 700.0);
            if (d < 60.0)
                for (int c = 0; c < 3; ++c) px[c] = 1.0f + 40.0f * float(1.0 - d / 60.0);
            if ((x % 211 == 0) && (y % 97 == 0))
                for (int c = 0; c < 3; ++c) px[c] = 8.0f;
            if (!highlights)
                for (int c = 0; c < 3; ++c) px[c] /= 41.0f;
        }
    return p;
}

void frame(benchmark::State& state, HdrMode mode, bool highlights)
{
    RenderOptions options;
    options.hdr = mode;
    const PictureColour colour(options);
    const std::vector<float> samples = plate(highlights);
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->set_input_length(1);
    const std::pair<const char*, double> settings[] = {{"Light Active", 1}, {"ChromaticAb", 1}, {"Back Bright", 80}};
    for (const auto& [label, value] : settings) {
        const double v[4] = {value, value, value, value};
        node->find_control(label)->set_values(v);
    }
    const OutputForm form{"openexr", true, true};
    bool warm = false;  // the first frame allocates the node's storage; it is rendered before the timing
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            PictureSource source;
            source.float_samples = true;
            source.samples = samples;
            const NodeFrame in = colour.to_node(HostPicture(w, h, 4), std::move(source), "plate");
            HostPicture result;
            SplitParts parts;
            render_split(*node, in.picture, in.parts, result, parts, 0.0, w, h);
            warm = true;
            state.ResumeTiming();
        }
        PictureSource source;
        source.float_samples = true;
        source.associated_alpha = true;
        source.samples = samples;
        const NodeFrame in = colour.to_node(HostPicture(w, h, 4), std::move(source), "plate");
        HostPicture result;
        SplitParts parts;
        render_split(*node, in.picture, in.parts, result, parts, 0.0, w, h);
        OutputFrame out = colour.from_node(std::move(result), in, linear_space, form, &parts);
        benchmark::DoNotOptimize(out.samples.data());
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void none_highlights(benchmark::State& state)
{
    frame(state, HdrMode::none, true);
}
void split_highlights(benchmark::State& state)
{
    frame(state, HdrMode::split, true);
}
void split_within_unit_range(benchmark::State& state)
{
    frame(state, HdrMode::split, false);
}

}  // namespace

BENCHMARK(none_highlights)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);
BENCHMARK(split_highlights)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);
BENCHMARK(split_within_unit_range)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4.0);
BENCHMARK_MAIN();
