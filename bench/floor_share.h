// The counters of a row timed against its floor: the rate, the floor's
// rate, the node's alone and the share, the rate against 1 / (the floor's
// seconds a frame + the node's), what running the two one after the other
// would give; and the run's peak memory. With the node's processor seconds
// a frame, also "cpu_share": the processor time of the floor and the node
// against the run's, which a busy machine disturbs far less than the rates.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>

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

// Two programs' runs as one run after the other: their seconds and
// processor seconds a frame added.
inline ProgramRun one_after_the_other(const ProgramRun& first, const ProgramRun& second)
{
    ProgramRun both;
    both.seconds = first.seconds + second.seconds;
    both.cpu_seconds = first.cpu_seconds + second.cpu_seconds;
    both.max_rss_mb = std::max(first.max_rss_mb, second.max_rss_mb);
    return both;
}

// The rate and shares of a row against its floor of the same pictures (the
// encoder or the writer given the run's own pictures).
inline void count_against_same_pictures(benchmark::State& state, const ProgramRun& run, const ProgramRun& same,
                                        double node_fps, double node_cpu_seconds)
{
    state.counters["same_pictures_floor_fps"] = 1.0 / same.seconds;
    if (node_fps > 0) state.counters["share_same_pictures"] = (1.0 / run.seconds) * (same.seconds + 1.0 / node_fps);
    state.counters["cpu_share_same_pictures"] = (same.cpu_seconds + node_cpu_seconds) / run.cpu_seconds;
}

}  // namespace trellin_bench
