// The counters of a row timed against its floor: the rate, the floor's
// rate, the node's alone and the share, the rate against 1 / (the floor's
// seconds a frame + the node's), what running the two one after the other
// would give; and the run's peak memory. With the node's processor seconds
// a frame, also "cpu_share": the processor time of the floor and the node
// against the run's, which a busy machine disturbs far less than the rates.
#pragma once

#include <benchmark/benchmark.h>

#include "bench/program_run.h"

namespace trellin_bench {

inline void count_against_floor(benchmark::State& state, const ProgramRun& run, const ProgramRun& floor,
                                double node_fps, double node_cpu_seconds = 0.0)
{
    state.counters["fps"] = 1.0 / run.seconds;
    state.counters["floor_fps"] = 1.0 / floor.seconds;
    state.counters["node_fps"] = node_fps;
    if (node_fps > 0) state.counters["share"] = (1.0 / run.seconds) * (floor.seconds + 1.0 / node_fps);
    state.counters["max_rss_mb"] = run.max_rss_mb;
    if (node_cpu_seconds > 0) state.counters["cpu_share"] = (floor.cpu_seconds + node_cpu_seconds) / run.cpu_seconds;
}

}  // namespace trellin_bench
