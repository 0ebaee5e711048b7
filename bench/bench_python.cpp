// Frames per second of the Python module, rendering 1920 x 1080 NumPy
// frames through Node.render in an embedded interpreter, beside the node
// alone in the same run: uint16 frames (the node's own samples) and uint8
// ones, each into a new array per frame (render's default) and into one
// array given as `out` (no new memory per frame). "of_node" is a rate as a
// share of the node alone's.
#include <benchmark/benchmark.h>
#include <pybind11/embed.h>

#include <chrono>
#include <string>

#include "bench/node_alone.h"

namespace py = pybind11;
using namespace py::literals;

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

double node_fps = 0;

void BM_NodeAlone(benchmark::State& state)
{
    node_fps = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height));
}

// The interpreter, started once with the build's module on its path.
void start_python()
{
    static const bool started = [] {
        py::initialize_interpreter();
        py::module_::import("sys").attr("path").attr("insert")(0, TRELLIN_PYTHON_PATH);
        return true;
    }();
    (void)started;
}

void BM_Python(benchmark::State& state, const char* dtype, bool into_out)
{
    start_python();
    try {
        py::dict scope;
        scope["dtype"] = dtype;
        scope["height"] = height;
        scope["width"] = width;
        // The node alone's picture, in the dtype (8-bit: its top bits).
        py::exec(R"(
import numpy as np
import trellin
samples = np.arange(height * width * 4, dtype=np.uint64) * 61 % 65536
samples[3::4] = 65535
if dtype == "uint8":
    samples //= 257
picture = samples.astype(dtype).reshape(height, width, 4)
out = np.empty_like(picture)
)",
                 scope);
        py::object picture = scope["picture"];
        py::object out = scope["out"];
        py::object trellin = scope["trellin"];
        py::object node = trellin.attr("Node")();
        py::object render = node.attr("render");
        auto frame = [&] {
            if (into_out)
                render(picture, "out"_a = out);
            else
                render(picture);
        };
        frame();  // buffers made outside the measure
        const auto start = std::chrono::steady_clock::now();
        for (auto _ : state) frame();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = seconds > 0 ? double(state.iterations()) / seconds : 0.0;
        state.counters["fps"] = rate;
        if (node_fps > 0) state.counters["of_node"] = rate / node_fps;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

}  // namespace

BENCHMARK(BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Python, uint16_new_array, "uint16", false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Python, uint16_out, "uint16", true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Python, uint8_new_array, "uint8", false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Python, uint8_out, "uint8", true)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
