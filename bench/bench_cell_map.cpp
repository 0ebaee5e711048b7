// Time to draw one cell map at 1920 x 1080, per shape: the default grid
// (10 x 10 cells, "CellSize" 0.1) and a dense one (100 x 100 cells,
// "CellSize" 0.01). The map is cleared and drawn on every processor, as the
// render does each frame.
#include <benchmark/benchmark.h>

#include <memory>

#include "effect/trellin.h"
#include "node/host_api.h"
#include "node/parallel_rows.h"

namespace {

using Worker = void (vx::Trellin::*)(int, int);
const Worker workers[6] = {&vx::Trellin::triangle_rows, &vx::Trellin::square_rows,
                           &vx::Trellin::pentagon_rows, &vx::Trellin::hexagon_rows,
                           &vx::Trellin::octagon_rows,  &vx::Trellin::dodecagon_rows};
const char* const shape_names[6] = {"Triangle", "Square", "Pentagon",
                                    "Hexagon",  "Octagon", "Dodecagon"};

void cell_map(benchmark::State& state)
{
    const int shape = int(state.range(0));
    const bool dense = state.range(1) != 0;
    const int w = 1920, h = 1080;

    vx::Trellin t;
    auto& p = t.param;
    p.cell_size.value = dense ? 0.01 : 0.1;
    p.cell_count_x.value = p.cell_count_y.value = dense ? 100 : 10;
    p.cell_angle.value = 0.0;
    p.angle_centre.x = p.angle_centre.y = 0.5;
    p.tweak.x = p.tweak.y = 0.5;
    p.cell_curve.value = 1.0;
    std::unique_ptr<vx::ImageVx> map(vx::ImageVx::create(w, h));
    t.frame.width = w;
    t.frame.height = h;
    t.frame.cell_radius = float(p.cell_size.value * 0.2 * w);
    t.frame.cell_map = map.get();

    for (auto _ : state) {
        map->fill(0, 0, 0, 0);
        vx::parallel_rows(&t, workers[shape - 1], h);
        benchmark::DoNotOptimize(map->pixels);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(shape_names[shape - 1]) + (dense ? " 100x100 CellSize 0.01" : " defaults"));
    state.counters["threads"] = smp_numprocs();
}

}  // namespace

BENCHMARK(cell_map)
    ->ArgNames({"shape", "dense"})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
