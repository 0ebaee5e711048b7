// Whole frames through the node at 1920 x 1080 and 3840 x 2160: the default
// look, a dense hexagon grid, and the heaviest path (chromatic aberration,
// lighting, smoothing, wrapped edges), each on every processor and on one.
// Beside them, a plain copy of the frame's pixel block, so each render can
// be read as a multiple of a memory copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/smp_pool.h"
#include "node/trellin_node.h"

namespace {

using Settings = std::vector<std::pair<const char*, double>>;

struct Look {
    const char* name;
    Settings settings;
};

const Look looks[] = {
    {"defaults", {}},
    {"hexagon 100x100 CellSize 0.01",
     {{"CellShape", 3}, {"Cell Count X", 100}, {"Cell Count Y", 100}, {"CellSize", 0.01}}},
    {"ChromaticAb 1, light, Smoothing 3, Wrap",
     {{"ChromaticAb", 1}, {"Light Active", 1}, {"Smoothing", 3}, {"Edge", 2}}},
};

void apply_settings(FXNode& node, const Settings& settings)
{
    for (const auto& [label, value] : settings) {
        CWidget* w = node.find_control(label);
        const double v[4] = {value, value, value, value};
        w->set_values(v);
    }
}

struct Frame {
    Frame(int w, int h) : in(std::size_t(w) * h * 4), out(in.size())
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint16_t* p = &in[(std::size_t(y) * w + x) * 4];
                p[0] = std::uint16_t(x * 65535 / w);
                p[1] = std::uint16_t(y * 65535 / h);
                p[2] = std::uint16_t(((x / 64 + y / 64) & 1) ? 60000 : 5000);
                p[3] = 65535;
            }
        in_image = _image_str{w, h, 4, 0, in.data()};
        out_image = _image_str{w, h, 4, 0, out.data()};
    }
    std::vector<std::uint16_t> in, out;
    _image_str in_image, out_image;
};

void set_size_and_threads(benchmark::State& state, int& w, int& h)
{
    w = state.range(0) == 0 ? 1920 : 3840;
    h = state.range(0) == 0 ? 1080 : 2160;
    smp_set_numprocs(state.range(2) == 0 ? int(std::thread::hardware_concurrency()) : 1);
}

using Clock = std::chrono::steady_clock;

// Milliseconds of one copy of the frame's pixel block, averaged over a few.
double memcpy_ms(Frame& frame)
{
    const int copies = 20;
    const auto start = Clock::now();
    for (int i = 0; i < copies; ++i) {
        std::memcpy(frame.out.data(), frame.in.data(), frame.in.size() * sizeof(std::uint16_t));
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / copies;
}

// Per-frame figures from the time spent in the measured loop: nanoseconds
// per pixel and, when given, the frame time as a multiple of a plain copy.
void report(benchmark::State& state, int w, int h, const std::string& label, Clock::duration spent,
            double copy_ms = 0.0)
{
    const double frame_ms =
        std::chrono::duration<double, std::milli>(spent).count() / double(state.iterations());
    state.SetLabel(label);
    state.counters["threads"] = smp_numprocs();
    state.counters["ns_per_pixel"] = frame_ms * 1e6 / (double(w) * h);
    if (copy_ms > 0.0)
        state.counters["x_memcpy"] = frame_ms / copy_ms;
}

void render(benchmark::State& state)
{
    int w = 0, h = 0;
    set_size_and_threads(state, w, h);
    const Look& look = looks[state.range(1)];
    Frame frame(w, h);
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->set_output_size(w, h);
    apply_settings(*node, look.settings);
    _image_str* inputs[] = {&frame.in_image, nullptr};
    const double copy_ms = memcpy_ms(frame);
    const auto start = Clock::now();
    for (auto _ : state) {
        node->process_image(0.0, inputs, &frame.out_image);
        benchmark::ClobberMemory();
    }
    report(state, w, h, look.name, Clock::now() - start, copy_ms);
}

void copy_frame(benchmark::State& state)
{
    int w = 0, h = 0;
    set_size_and_threads(state, w, h);
    Frame frame(w, h);
    const auto start = Clock::now();
    for (auto _ : state) {
        std::memcpy(frame.out.data(), frame.in.data(), frame.in.size() * sizeof(std::uint16_t));
        benchmark::ClobberMemory();
    }
    report(state, w, h, "memcpy of the pixel block", Clock::now() - start);
}

}  // namespace

BENCHMARK(copy_frame)
    ->ArgNames({"uhd", "look", "one_thread"})
    ->ArgsProduct({{0, 1}, {0}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(render)
    ->ArgNames({"uhd", "look", "one_thread"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

BENCHMARK_MAIN();
