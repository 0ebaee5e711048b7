// trellin render on 16-bit still sequences — a TIFF sequence (16-bit
// integer) and an OpenEXR sequence (half) — beside its floor in the same
// run: oiiotool reading and writing the same sequence to the same format,
// with the same compression and no effect, and the node alone on a frame of
// the same size. The share is the render's rate against running the two one
// after the other: 1 / (floor's seconds a frame + node's seconds a frame).
// Each program's start is left out: a rate is the difference between a run of
// the whole sequence and a run of its first frame.
//
// Deflating the glass is slower than deflating the grain it refracts, so each
// row also has a floor of the same pictures: oiiotool reading and writing
// the render's own output sequence the same way. "share_same_pictures" is
// the rate against that floor plus the node.
//
// The frames are ffmpeg's test pattern with moving grain (so they compress
// as photographs do rather than as flat colour), 1920 x 1080, RGB, written by
// oiiotool with the compression trellin writes each format with.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/floor_share.h"
#include "bench/node_alone.h"
#include "bench/program_run.h"
#include "bench/work_dir.h"

namespace {

constexpr int frames = 24;
constexpr int width = 1920, height = 1080;

struct Case {
    const char* name;
    const char* extension;
    std::vector<std::string> store;  // oiiotool's options for the input's samples and compression
};

// trellin writes TIFF and OpenEXR with OpenImageIO's default compression
// (zip for both) and TIFF in OpenImageIO's default strips of 32 rows, and
// keeps a half sequence half and a 16-bit one 16-bit. oiiotool keeps the
// input's compression and strips, so the input has trellin's: zip on strips
// of one row (as ffmpeg's TIFFs have) deflates 2 to 3 times faster than on
// strips of 32, and the floor would time another file.
const Case cases[] = {
    {"tiff16_sequence", ".tif", {"-d", "uint16", "--compression", "zip", "--attrib", "tiff:RowsPerStrip", "32"}},
    {"exr_half_sequence", ".exr", {"-d", "half", "--compression", "zip"}},
};

using Run = trellin_bench::ProgramRun;

std::string in_dir()
{
    return (trellin_bench::work_dir() / "in").string();
}

std::string range(int last)
{
    return "1-" + std::to_string(last);
}

// The input sequence in `c`'s format: its pattern, empty when it could not be made.
std::string sequence(const Case& c)
{
    std::filesystem::create_directories(in_dir());
    const std::string source = in_dir() + "/source.%04d.tif";
    if (!std::filesystem::exists(in_dir() + "/source.0001.tif")) {
        const Run made = trellin_bench::run_program(
            "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                       "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25", "-vf",
                       "noise=alls=12:allf=t", "-frames:v", std::to_string(frames), "-pix_fmt", "rgb48le",
                       "-start_number", "1", source});
        if (made.seconds < 0) return {};
    }
    const std::string pattern = in_dir() + "/in.%04d" + c.extension;
    std::vector<std::string> args{"--frames", range(frames), source};
    args.insert(args.end(), c.store.begin(), c.store.end());
    args.insert(args.end(), {"-o", pattern});
    if (trellin_bench::run_program("oiiotool", args).seconds < 0) return {};
    return pattern;
}

double node_fps = 0.0, node_cpu = 0.0;

void BM_NodeAlone(benchmark::State& state)
{
    node_fps = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height), &node_cpu);
}

void BM_Stills(benchmark::State& state, const Case& c)
{
    const std::string in = sequence(c);
    if (in.empty()) {
        state.SkipWithError("ffmpeg or oiiotool could not make the sequence");
        return;
    }
    const std::string out = (trellin_bench::work_dir() / (std::string("glass.%04d") + c.extension)).string();
    const std::string floor_out = (trellin_bench::work_dir() / (std::string("floor.%04d") + c.extension)).string();
    const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";
    // oiiotool keeps the input's samples and compression on output.
    auto floor_args = [&](int last) { return std::vector<std::string>{"--frames", range(last), in, "-o", floor_out}; };
    auto render_args = [&](int last) {
        return std::vector<std::string>{"render", in, out, "--frames", range(last), "-q"};
    };
    // oiiotool rewriting the render's output: the floor of the same pictures.
    auto same_args = [&](int last) { return std::vector<std::string>{"--frames", range(last), out, "-o", floor_out}; };
    Run floor, render, same;
    for (auto _ : state) {
        floor = trellin_bench::per_frame("oiiotool", floor_args(frames), floor_args(1), frames);
        render = trellin_bench::per_frame(trellin, render_args(frames), render_args(1), frames);
        same = trellin_bench::per_frame("oiiotool", same_args(frames), same_args(1), frames);
        if (floor.seconds < 0 || render.seconds < 0 || same.seconds < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        state.SetIterationTime(render.seconds);
    }
    trellin_bench::count_against_floor(state, render, floor, node_fps, node_cpu);
    trellin_bench::count_against_same_pictures(state, render, same, node_fps, node_cpu);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("BM_NodeAlone/1920/1080", BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
    for (const Case& c : cases)
        benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& s) { BM_Stills(s, c); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
