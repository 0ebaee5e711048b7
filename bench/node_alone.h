// The node alone, rendering one frame again and again: what the hosts'
// benchmarks measure their rates against, in the same run.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"

namespace trellin_bench {

// The samples of the RGBA frame the hosts' benchmarks hand their host:
// (i * 61) mod 65536, alpha opaque.
inline std::vector<std::uint16_t> frame_samples(int width, int height)
{
    std::vector<std::uint16_t> v(std::size_t(width) * std::size_t(height) * 4);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::uint16_t(i % 4 == 3 ? 65535 : (i * 61) % 65536);
    return v;
}

inline trellin_app::HostPicture frame_picture(int width, int height)
{
    trellin_app::HostPicture picture(width, height, 4);
    picture.data = frame_samples(width, height);
    return picture;
}

// Processor time of the whole process so far, in seconds.
inline double process_seconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// Renders `picture` (default look) through a node of the build's module for
// as long as `state` runs, after a first frame outside the measure that
// makes the result's buffer, as the hosts' first frames are left out of
// theirs. Sets the "fps" counter; returns the frames per second of wall
// time, 0 when a frame failed, and the processor seconds a frame (all
// threads) in `cpu_seconds` when given.
inline double node_alone(benchmark::State& state, const trellin_app::HostPicture& picture,
                         double* cpu_seconds = nullptr)
{
    const trellin_app::NodeModule module = trellin_app::NodeModule::find(TRELLIN_BIN_DIR);
    trellin_app::NodePtr node = module.create_node();
    trellin_app::HostPicture result;
    if (trellin_app::render_frame(*node, picture, result, 0.0) != 1) {
        state.SkipWithError("render failed");
        return 0.0;
    }
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = process_seconds();
    for (auto _ : state) {
        if (trellin_app::render_frame(*node, picture, result, 0.0) != 1) {
            state.SkipWithError("render failed");
            return 0.0;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = seconds > 0 ? double(state.iterations()) / seconds : 0.0;
    state.counters["fps"] = fps;
    if (cpu_seconds != nullptr && state.iterations() > 0)
        *cpu_seconds = (process_seconds() - cpu_start) / double(state.iterations());
    return fps;
}

}  // namespace trellin_bench
