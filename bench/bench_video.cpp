// `trellin render` from a 1920 x 1080 FFV1 file of 16-bit RGB to another,
// beside its two halves in the same run: the node alone on the same frame,
// and the same decode and encode without the effect (the video reader and
// writer `render` uses). When reading, the effect and writing overlap, the
// render runs at the rate of the slower half; "of_slower" is its rate as a
// share of that. The render's rate leaves the program's start out: it is the
// difference between a run of the whole clip and a run of its first frame.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/module_loader.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

#include "bench/node_alone.h"
#include "bench/program_run.h"
#include "bench/work_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frames = 24;

using trellin_bench::work_dir;

trellin_app::HostPicture frame_picture(int number)
{
    trellin_app::HostPicture p(width, height, 3);
    for (std::size_t i = 0; i < p.data.size(); ++i)
        p.data[i] = std::uint16_t((i * 61 + std::size_t(number) * 997) % 65536);
    return p;
}

void write_clip(const std::string& path, trellin_video::VideoReader* source)
{
    std::vector<std::string> notes;
    trellin_video::VideoFormat format;
    format.width = width;
    format.height = height;
    format.samples = 3;
    format.space = "sRGB";
    const auto plan = trellin_video::plan_video_output(path, {}, false);
    trellin_video::VideoWriter writer(path, plan, format, nullptr, notes);
    trellin_app::HostPicture picture;
    for (int n = 0; n < frames; ++n) {
        if (source != nullptr)
            source->read(n, picture);
        else
            picture = frame_picture(n);
        writer.write(picture, n);
    }
    writer.finish();
}

// The clip every case reads, made once.
const std::string& clip()
{
    static const std::string path = [] {
        const std::string p = (work_dir() / "in.mkv").string();
        write_clip(p, nullptr);
        return p;
    }();
    return path;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double node_fps = 0.0;
double codecs_fps = 0.0;

void BM_NodeAlone(benchmark::State& state)
{
    node_fps = trellin_bench::node_alone(state, frame_picture(0));
}

void BM_CodecsAlone(benchmark::State& state)
{
    const std::string in = clip(), out = (work_dir() / "copy.mkv").string();
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        trellin_video::VideoReader reader(in);
        write_clip(out, &reader);
        const double s = seconds_since(start);
        state.SetIterationTime(s / frames);
        seconds += s;
    }
    codecs_fps = double(state.iterations()) * frames / seconds;
    state.counters["fps"] = codecs_fps;
}

// One whole run of trellin render; its seconds, or a negative number.
double render_run(const std::vector<std::string>& args)
{
    return trellin_bench::run_program(std::string(TRELLIN_BIN_DIR) + "/trellin", args).seconds;
}

void BM_RenderVideo(benchmark::State& state)
{
    const std::string in = clip(), out = (work_dir() / "glass.mkv").string();
    double seconds = 0.0;
    for (auto _ : state) {
        const double one = render_run({"render", in, out, "--frames", "0-0", "-q"});
        const double all = render_run({"render", in, out, "-q"});
        if (one < 0 || all < 0) {
            state.SkipWithError("trellin render failed");
            return;
        }
        const double s = std::max(all - one, 1e-6);
        state.SetIterationTime(s / (frames - 1));
        seconds += s;
    }
    const double fps = double(state.iterations()) * (frames - 1) / seconds;
    state.counters["fps"] = fps;
    const double slower = std::min(node_fps, codecs_fps);
    if (slower > 0) state.counters["of_slower"] = fps / slower;
}

BENCHMARK(BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CodecsAlone)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_RenderVideo)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
