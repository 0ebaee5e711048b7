// Whole frames through the node at 1920 x 1080 and 3840 x 2160 (the default
// look, a dense hexagon grid, and the heaviest path: chromatic aberration,
// lighting, smoothing, wrapped edges), each on every processor and on one,
// with the reference kernels first and the fast ones after them in the same
// run, so that each fast figure also reads as a speed-up over the reference
// measured minutes apart rather than hours. Beside them, a plain copy of the
// frame's pixel block, and for the default look at 1920 x 1080 one line per
// pass. The context names the instruction set the fast kernels chose.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "effect/fast/kernels.h"
#include "effect/fast/frame.h"
#include "effect/kernel_choice.h"
#include "effect/reference/passes.h"
#include "host/smp_pool.h"
#include "pixels/image_exchange.h"
#include "pixels/parallel_rows.h"
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

const char* const kernel_names[] = {"fast", "reference"};

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

// Reference milliseconds per frame by what was measured, for the speed-ups.
std::map<std::string, double>& reference_ms()
{
    static std::map<std::string, double> times;
    return times;
}

// Per-frame figures from the time spent in the measured loop: nanoseconds
// per pixel, the frame time as a multiple of a plain copy when given, and
// for the fast kernels the speed-up over the reference measured under `key`.
void report(benchmark::State& state, int w, int h, const std::string& label, Clock::duration spent,
            const std::string& key, vx::Kernels kernels, double copy_ms = 0.0)
{
    const double frame_ms = std::chrono::duration<double, std::milli>(spent).count() / double(state.iterations());
    state.SetLabel(label);
    state.counters["threads"] = smp_numprocs();
    state.counters["ns_per_pixel"] = frame_ms * 1e6 / (double(w) * h);
    if (copy_ms > 0.0) state.counters["x_memcpy"] = frame_ms / copy_ms;
    if (kernels == vx::Kernels::reference)
        reference_ms()[key] = frame_ms;
    else if (reference_ms().count(key))
        state.counters["speedup"] = reference_ms()[key] / frame_ms;
}

int threads_of(benchmark::State& state)
{
    return state.range(2) == 0 ? int(std::thread::hardware_concurrency()) : 1;
}

void render(benchmark::State& state)
{
    const int w = state.range(0) == 0 ? 1920 : 3840;
    const int h = state.range(0) == 0 ? 1080 : 2160;
    smp_set_numprocs(threads_of(state));
    const auto kernels = static_cast<vx::Kernels>(state.range(3));
    const Look& look = looks[state.range(1)];
    Frame frame(w, h);
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->kernels = kernels;
    node->set_output_size(w, h);
    apply_settings(*node, look.settings);
    _image_str* inputs[] = {&frame.in_image, nullptr};
    const double copy_ms = memcpy_ms(frame);
    node->process_image(0.0, inputs, &frame.out_image);  // storage allocated once
    const auto start = Clock::now();
    for (auto _ : state) {
        node->process_image(0.0, inputs, &frame.out_image);
        benchmark::ClobberMemory();
    }
    const std::string key = std::to_string(w) + look.name + std::to_string(smp_numprocs());
    report(state, w, h, std::string(look.name) + ", " + kernel_names[int(kernels)], Clock::now() - start, key, kernels,
           copy_ms);
}

void copy_frame(benchmark::State& state)
{
    const int w = state.range(0) == 0 ? 1920 : 3840;
    const int h = state.range(0) == 0 ? 1080 : 2160;
    smp_set_numprocs(threads_of(state));
    Frame frame(w, h);
    const auto start = Clock::now();
    for (auto _ : state) {
        std::memcpy(frame.out.data(), frame.in.data(), frame.in.size() * sizeof(std::uint16_t));
        benchmark::ClobberMemory();
    }
    report(state, w, h, "memcpy of the pixel block", Clock::now() - start, "", vx::Kernels::reference);
}

// One pass of the default look at 1920 x 1080 on every processor, the
// passes before it already run, in whole-frame buffers.
struct PassScene {
    static constexpr int w = 1920, h = 1080;
    Frame frame{w, h};
    std::unique_ptr<vx::TrellinNode> node{vx::TrellinNode::make()};
    std::unique_ptr<vx::ImageVx> input{vx::ImageVx::create(w, h)};
    std::unique_ptr<vx::ImageVx> output{vx::ImageVx::create(w, h)};
    vx::FrameStorage storage;
    std::vector<float> surface_x, surface_y, highlight;  // padded for the fast rows
    vx::FrameState f;

    PassScene()
    {
        vx::pull_typed_controls(node->effect->param);
        f = vx::derive_frame_state(node->effect->param, w, h);
        f.input = input.get();
        f.output = output.get();
        vx::read_host_image(&frame.in_image, input.get());
        storage.set_size(w, h);
        storage.need_cell_map();
        storage.need_float_buffers();
        storage.need_pyramid(true);
        vx::fast_cell_map(f, storage);
        const std::size_t n = std::size_t(w) * h + vx::fast_row_padding;
        surface_x.resize(n);
        surface_y.resize(n);
        highlight.resize(n);
        f.cell_map = storage.cell_map;
        f.height_buf = storage.height_buf;
        f.sample_x_buf = storage.sample_x_buf;
        f.sample_y_buf = storage.sample_y_buf;
        f.highlight_buf = storage.highlight_buf;
        f.cell_map->fill(0, 0, 0, 0);
        rows(vx::cell_map_rows);
        rows(vx::build_height_rows);
        vx::fill_pyramid(storage.pyramid, input.get());
        vx::keep_within_reach(storage.pyramid);
        f.pyramid = storage.pyramid;
        rows(vx::refract_rows);
    }
    template <class Pass>
    void rows(Pass pass)
    {
        vx::parallel_rows(h, [this, pass](int first, int last) { pass(f, first, last); });
    }
    vx::SurfaceRow surface(int y)
    {
        const std::size_t at = std::size_t(y) * w;
        return vx::SurfaceRow{surface_x.data() + at, surface_y.data() + at, highlight.data() + at};
    }
};

enum Pass { cell_map, heights, pyramid, refraction, compositing, export_out, pass_count };
const char* const pass_names[pass_count] = {"cell map",   "heights",     "pyramid (input read in)",
                                            "refraction", "compositing", "output written back"};

void run_pass(PassScene& s, Pass pass, vx::Kernels kernels)
{
    vx::FrameState& f = s.f;
    const bool fast = kernels == vx::Kernels::fast;
    switch (pass) {
    case cell_map:
        if (fast) {
            vx::fast_cell_map(f, s.storage);
        } else {
            f.cell_map->fill(0, 0, 0, 0);
            s.rows(vx::cell_map_rows);
        }
        break;
    case heights:
        if (fast) {
            vx::fast_heights(f, s.storage.dome_map);
        } else {
            s.rows(vx::build_height_rows);
            vx::finish_height_last_row(f);
        }
        break;
    case pyramid:
        if (fast) {
            vx::fast_pyramid(&s.frame.in_image, s.input.get(), s.storage.pyramid);
        } else {
            vx::read_host_image(&s.frame.in_image, s.input.get());
            vx::fill_pyramid(s.storage.pyramid, s.input.get());
        }
        break;
    case refraction:
        if (fast) {
            vx::parallel_rows(s.h, [&s](int first, int last) {
                for (int y = first; y <= last; ++y) {
                    const std::size_t at = std::size_t(y) * s.w;
                    vx::fast_surface_row(s.f, y, s.surface(y));
                    vx::fast_position_row(s.f, y, s.surface(y), s.f.sample_x_buf + at, s.f.sample_y_buf + at);
                }
            });
        } else {
            s.rows(vx::refract_rows);
        }
        break;
    case compositing:
        if (fast) {
            vx::parallel_rows(s.h - 1, [&s](int first, int last) {
                for (int y = first; y <= last; ++y) {
                    const std::size_t at = std::size_t(y) * s.w;
                    const vx::CompositeRow row{s.f.sample_x_buf + at,  s.f.sample_x_buf + at + s.w,
                                               s.f.sample_y_buf + at,  s.f.sample_y_buf + at + s.w,
                                               s.f.highlight_buf + at, s.f.output->rows[y]};
                    vx::fast_composite_row(s.f, row);
                }
            });
        } else {
            s.rows(vx::composite_rows);
            vx::finish_composite_last_row(f);
        }
        break;
    case export_out:
        vx::export_to_host_image(s.output.get(), &s.frame.out_image);
        break;
    case pass_count:
        break;
    }
}

void one_pass(benchmark::State& state)
{
    smp_set_numprocs(int(std::thread::hardware_concurrency()));
    static PassScene scene;
    const auto pass = static_cast<Pass>(state.range(0));
    const auto kernels = static_cast<vx::Kernels>(state.range(1));
    run_pass(scene, pass, kernels);
    const auto start = Clock::now();
    for (auto _ : state) {
        run_pass(scene, pass, kernels);
        benchmark::ClobberMemory();
    }
    report(state, scene.w, scene.h, std::string(pass_names[pass]) + ", " + kernel_names[int(kernels)],
           Clock::now() - start, std::string("pass ") + pass_names[pass], kernels);
}

const bool context = [] {
    benchmark::AddCustomContext("fast kernels", vx::simd_target_name());
    return true;
}();

}  // namespace

BENCHMARK(copy_frame)
    ->ArgNames({"uhd", "look", "one_thread"})
    ->ArgsProduct({{0, 1}, {0}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Reference (1) before fast (0), so that each fast line carries its speed-up.
BENCHMARK(render)
    ->ArgNames({"uhd", "look", "one_thread", "kernels"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

BENCHMARK(one_pass)
    ->ArgNames({"pass", "kernels"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.5);

BENCHMARK_MAIN();
