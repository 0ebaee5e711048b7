// trellin render on the clips people bring — H.264 to H.264, ProRes 422 HQ
// 10-bit to ProRes 4444, 10-bit HEVC to FFV1 — beside its floor in the same
// run: ffmpeg decoding and encoding the same clip with the same codec
// settings and no effect (what `ffmpeg -i in.mp4 -c:v libx264 -crf 18
// out.mp4` does), and the node alone on a frame of the same size. The share
// is the render's rate against running the two one after the other:
// 1 / (floor's seconds a frame + node's seconds a frame). Each program's
// start is left out: a rate is the difference between a run of the whole clip
// and a run of its first frame. "max_rss_mb" is the render's peak resident
// memory, "floor_rss_mb" ffmpeg's.
//
// An encoder's work depends on the pictures: x264 spends about two thirds
// more on the glass than on the test pattern it refracts. So each row also
// has a floor of the same pictures: ffmpeg decoding the clip, plus ffmpeg
// encoding the render's own pictures (written raw, in the output's pixel
// format, beforehand) with the same settings, which gives the same stream as
// the render. "share_same_pictures" is the render's rate against that floor
// plus the node.
//
// At 1920 x 1080 and 3840 x 2160; TRELLIN_BENCH_4K=0 leaves out the larger
// (which takes most of the run's ten minutes or so).
// TRELLIN_BENCH_FRAMES sets the clips' length (48 by default; an encoder's
// look-ahead makes short clips end in a long flush).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/floor_share.h"
#include "bench/node_alone.h"
#include "bench/program_run.h"
#include "bench/work_dir.h"

namespace {

int clip_frames()
{
    const char* set = std::getenv("TRELLIN_BENCH_FRAMES");
    const int n = set != nullptr ? std::atoi(set) : 0;
    return n >= 2 ? n : 48;
}
const int frames = clip_frames();

struct Case {
    const char* name;
    const char* extension_in;
    const char* extension_out;
    std::vector<std::string> make;   // ffmpeg's encoding of the clip
    std::vector<std::string> floor;  // ffmpeg's encoding in the floor: trellin's codec settings
    const char* pix_fmt;             // what trellin writes
};

const Case cases[] = {
    {"h264_to_h264",
     ".mp4",
     ".mp4",
     {"-c:v", "libx264", "-crf", "18", "-pix_fmt", "yuv420p"},
     {"-c:v", "libx264", "-crf", "18"},
     "yuv420p"},
    {"prores422hq_to_prores4444",
     ".mov",
     ".mov",
     {"-c:v", "prores_ks", "-profile:v", "3", "-pix_fmt", "yuv422p10le"},
     {"-c:v", "prores_ks", "-profile:v", "4444", "-pix_fmt", "yuv444p10le"},
     "yuv444p10le"},
    {"hevc10_to_ffv1",
     ".mkv",
     ".mkv",
     {"-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error"},
     {"-c:v", "ffv1", "-level", "3", "-slices", "4", "-slicecrc", "1", "-g", "1"},
     "gbrp16le"},
};

using Run = trellin_bench::ProgramRun;

std::string clip(const Case& c, int width, int height)
{
    const std::string path = (trellin_bench::work_dir() / (std::string(c.name) + "_" + std::to_string(width) + "_" +
                                                           std::to_string(frames) + "_in" + c.extension_in))
                                 .string();
    if (std::filesystem::exists(path)) return path;
    std::vector<std::string> args{"-v",
                                  "error",
                                  "-y",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25",
                                  "-frames:v",
                                  std::to_string(frames)};
    args.insert(args.end(), c.make.begin(), c.make.end());
    args.push_back(path);
    if (trellin_bench::run_program("ffmpeg", args).seconds < 0) return {};
    return path;
}

// The node alone's rate and processor seconds a frame at each width,
// measured first in the run.
double node_rates[2] = {0.0, 0.0}, node_cpus[2] = {0.0, 0.0};
double& node_fps(int width)
{
    return node_rates[width > 1920 ? 1 : 0];
}
double& node_cpu(int width)
{
    return node_cpus[width > 1920 ? 1 : 0];
}

void BM_NodeAlone(benchmark::State& state)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    node_fps(width) = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height), &node_cpu(width));
}

void BM_Codecs(benchmark::State& state, const Case& c)
{
    const int width = int(state.range(0)), height = int(state.range(1));
    const std::string in = clip(c, width, height);
    if (in.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const std::string out = (trellin_bench::work_dir() / (std::string("glass") + c.extension_out)).string();
    const std::string floor_out = (trellin_bench::work_dir() / (std::string("floor") + c.extension_out)).string();
    const std::string lossless = (trellin_bench::work_dir() / "glass_pictures.mkv").string();
    const std::string pictures = (trellin_bench::work_dir() / "glass_pictures.nut").string();
    const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";
    // ffmpeg encoding `from` as trellin encodes: the whole clip and its first frame.
    auto encoding = [&](const std::string& from, std::vector<std::string>& all, std::vector<std::string>& one) {
        all = {"-v", "error", "-y", "-i", from};
        all.insert(all.end(), c.floor.begin(), c.floor.end());
        one = all;
        all.push_back(floor_out);
        one.insert(one.end(), {"-frames:v", "1", floor_out});
    };
    std::vector<std::string> floor_all, floor_one, same_all, same_one;
    encoding(in, floor_all, floor_one);
    encoding(pictures, same_all, same_one);
    const std::vector<std::string> decode_all{"-v", "error", "-i", in, "-f", "null", "-"};
    const std::vector<std::string> decode_one{"-v", "error", "-i", in, "-frames:v", "1", "-f", "null", "-"};
    // The render's pictures, raw, for the encoder of the same pictures:
    // written losslessly by trellin, then unpacked by ffmpeg.
    if (trellin_bench::run_program(trellin, {"render", in, lossless, "--codec", "ffv1", "--pix-fmt", c.pix_fmt, "-q"})
                .seconds < 0 ||
        trellin_bench::run_program("ffmpeg", {"-v", "error", "-y", "-i", lossless, "-c:v", "rawvideo", pictures})
                .seconds < 0) {
        state.SkipWithError("the render's pictures could not be written raw");
        return;
    }
    Run floor, render, decode, encode_same;
    for (auto _ : state) {
        floor = trellin_bench::per_frame("ffmpeg", floor_all, floor_one, frames);
        render = trellin_bench::per_frame(trellin, {"render", in, out, "-q"},
                                          {"render", in, out, "--frames", "0-0", "-q"}, frames);
        decode = trellin_bench::per_frame("ffmpeg", decode_all, decode_one, frames);
        encode_same = trellin_bench::per_frame("ffmpeg", same_all, same_one, frames);
        if (floor.seconds < 0 || render.seconds < 0 || decode.seconds < 0 || encode_same.seconds < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        state.SetIterationTime(render.seconds);
    }
    const double node = node_fps(width);
    trellin_bench::count_against_floor(state, render, floor, node, node_cpu(width));
    state.counters["floor_rss_mb"] = floor.max_rss_mb;
    trellin_bench::count_against_same_pictures(state, render, trellin_bench::one_after_the_other(decode, encode_same),
                                               node, node_cpu(width));
}

void register_sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080});
    const char* big = std::getenv("TRELLIN_BENCH_4K");
    if (big == nullptr || std::string(big) != "0") b->Args({3840, 2160});
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("BM_NodeAlone", BM_NodeAlone)
        ->Apply(register_sizes)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const Case& c : cases)
        benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& s) { BM_Codecs(s, c); })
            ->Apply(register_sizes)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
