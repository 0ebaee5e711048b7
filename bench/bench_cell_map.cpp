// Time to draw one cell map at 1920 x 1080, per shape: the default grid
// (10 x 10 cells, "CellSize" 0.1) and a dense one (100 x 100 cells,
// "CellSize" 0.01). The map is cleared and drawn on every processor, as the
// render does each frame.
#include <benchmark/benchmark.h>

#include <memory>

#include "effect/passes.h"
#include "effect/trellin_info.h"
#include "node/host_api.h"
#include "node/parallel_rows.h"

namespace {

const char* const shape_names[6] = {"Triangle", "Square", "Pentagon",
                                    "Hexagon",  "Octagon", "Dodecagon"};

void cell_map(benchmark::State& state)
{
    const int shape = int(state.range(0));
    const bool dense = state.range(1) != 0;
    const int w = 1920, h = 1080;

    vx::TrellinParams p;
    p.cell_shape.value = shape;
    p.cell_size.value = dense ? 0.01 : 0.1;
    p.cell_count_x.value = p.cell_count_y.value = dense ? 100 : 10;
    p.cell_angle.value = 0.0;
    p.angle_centre.x = p.angle_centre.y = 0.5;
    p.tweak.x = p.tweak.y = 0.5;
    p.cell_curve.value = 1.0;
    std::unique_ptr<vx::ImageVx> map(vx::ImageVx::create(w, h));
    vx::FrameState f = vx::derive_frame_state(p, w, h);
    f.cell_map = map.get();

    for (auto _ : state) {
        map->fill(0, 0, 0, 0);
        vx::parallel_rows(h, [&f](int first, int last) { vx::cell_map_rows(f, first, last); });
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
