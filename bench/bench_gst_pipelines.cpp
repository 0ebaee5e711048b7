// GStreamer pipelines as people run them, with trellinglass between a
// decoder and an encoder, as gst-launch-1.0 runs them:
//   filesrc ! decodebin ! videoconvert ! trellinglass ! videoconvert
//     ! video/x-raw,format=I420 ! x264enc ! mp4mux ! filesink
// on a 1080p H.264 clip of 48 frames, the same with a queue between the
// stages (each stage then has a thread of its own), and the same from
// videotestsrc (I420, as a camera gives). The encoder takes I420 in every
// pipeline, as the clip has it and as players expect from an .mp4 (left to
// itself, x264enc would take 4:4:4 from trellinglass and 10-bit 4:4:4 from
// videotestsrc, and the rows would time different encodings). Each is
// beside its floor in the same run: the same pipeline
// with identity in place of trellinglass, and the node alone on a frame of
// the same size. The share is the pipeline's rate against running the two
// one after the other: 1 / (floor's seconds a frame + node's seconds a
// frame). Each run is a whole gst-launch-1.0 process; its start is left out:
// a rate is the difference between a run of 48 frames and a run of 1.
//
// x264enc works harder on the glass than on the pictures it refracts, so each
// row also has a floor of the same pictures: the pipeline up to the encoder
// with identity and fakesink, plus x264enc encoding the element's own I420
// output (written raw beforehand) from a file; "share_same_pictures" is the
// rate against that floor plus the node.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/floor_share.h"
#include "bench/node_alone.h"
#include "bench/program_run.h"
#include "bench/work_dir.h"

namespace {

constexpr int frames = 48;
constexpr int width = 1920, height = 1080;

using Run = trellin_bench::ProgramRun;

enum class Source { clip, clip_queued, test_source };

// The build's plug-ins, in a registry of the benchmark's own (so that the
// first timed run does not pay for a scan of the system's plug-ins).
bool init_gstreamer()
{
    static const bool found = [] {
        static const std::string registry = (trellin_bench::work_dir() / "registry.bin").string();
        ::setenv("GST_PLUGIN_PATH", TRELLIN_LIB_DIR "/gstreamer-1.0", 1);
        ::setenv("GST_REGISTRY", registry.c_str(), 1);
        // One frame through each element the pipelines need.
        return trellin_bench::run_program("gst-launch-1.0", {"-q", "videotestsrc", "num-buffers=1", "!", "trellinglass",
                                                             "!", "videoconvert", "!", "x264enc", "!", "fakesink"})
                   .seconds >= 0;
    }();
    return found;
}

// A 1080p H.264 clip of `count` frames, as bench_codecs makes its clips.
std::string clip(int count)
{
    const std::string path = (trellin_bench::work_dir() / ("clip_" + std::to_string(count) + ".mp4")).string();
    if (std::filesystem::exists(path)) return path;
    const Run made = trellin_bench::run_program(
        "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                   "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25", "-frames:v",
                   std::to_string(count), "-c:v", "libx264", "-crf", "18", "-pix_fmt", "yuv420p", path});
    return made.seconds < 0 ? std::string() : path;
}

// A pipeline description as gst-launch-1.0's argument list.
std::vector<std::string> arguments(const std::string& description)
{
    std::vector<std::string> args{"-q"};
    std::string word;
    for (char ch : description) {
        if (ch == ' ') {
            if (!word.empty()) args.push_back(word);
            word.clear();
        } else {
            word += ch;
        }
    }
    if (!word.empty()) args.push_back(word);
    return args;
}

const std::string encoder_out = " ! x264enc ! mp4mux ! filesink location=";

std::string out_file()
{
    return (trellin_bench::work_dir() / "out.mp4").string();
}

// gst-launch-1.0's pipeline of `count` frames with `filter` ("trellinglass"
// or "identity") in the middle, ending in `tail` (the encoder and the file
// by default), as its argument list.
std::vector<std::string> pipeline(Source source, int count, const std::string& filter, std::string tail = {})
{
    if (tail.empty()) tail = encoder_out + out_file();
    const bool queued = source == Source::clip_queued;
    const std::string q = queued ? " ! queue" : "";
    std::string d;
    if (source == Source::test_source)
        d = "videotestsrc num-buffers=" + std::to_string(count) + " ! video/x-raw,width=" + std::to_string(width) +
            ",height=" + std::to_string(height) + ",framerate=25/1,format=I420";
    else
        d = "filesrc location=" + clip(count) + " ! decodebin";
    d += q + " ! videoconvert" + q + " ! " + filter + q + " ! videoconvert" + q + " ! video/x-raw,format=I420" + tail;
    return arguments(d);
}

// x264enc encoding `count` raw I420 frames of `path` as the pipelines do.
std::vector<std::string> encoding(const std::string& path, int count)
{
    const int frame_bytes = width * height * 3 / 2;
    return arguments("filesrc location=" + path + " blocksize=" + std::to_string(frame_bytes) + " num-buffers=" +
                     std::to_string(count) + " ! rawvideoparse format=i420 width=" + std::to_string(width) +
                     " height=" + std::to_string(height) + " framerate=25/1" + encoder_out + out_file());
}

double node_fps = 0.0, node_cpu = 0.0;

void BM_NodeAlone(benchmark::State& state)
{
    node_fps = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height), &node_cpu);
}

// Seconds a frame of a pipeline's run, its start left out.
Run per_frame(Source source, const std::string& filter)
{
    return trellin_bench::per_frame("gst-launch-1.0", pipeline(source, frames, filter), pipeline(source, 1, filter),
                                    frames);
}

void BM_Pipeline(benchmark::State& state, Source source)
{
    if (!init_gstreamer()) {
        state.SkipWithError("gst-launch-1.0 finds no trellinglass or x264enc (gstreamer1.0-plugins-ugly)");
        return;
    }
    if (source != Source::test_source && (clip(1).empty() || clip(frames).empty())) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    // The element's own pictures, raw, for the encoder of the same pictures.
    const std::string pictures = (trellin_bench::work_dir() / "glass_pictures.yuv").string();
    if (trellin_bench::run_program("gst-launch-1.0",
                                   pipeline(source, frames, "trellinglass", " ! filesink location=" + pictures))
            .seconds < 0) {
        state.SkipWithError("the element's pictures could not be written raw");
        return;
    }
    Run floor, glass, upstream, encode_same;
    for (auto _ : state) {
        floor = per_frame(source, "identity");
        glass = per_frame(source, "trellinglass");
        upstream = trellin_bench::per_frame("gst-launch-1.0", pipeline(source, frames, "identity", " ! fakesink"),
                                            pipeline(source, 1, "identity", " ! fakesink"), frames);
        encode_same =
            trellin_bench::per_frame("gst-launch-1.0", encoding(pictures, frames), encoding(pictures, 1), frames);
        if (floor.seconds < 0 || glass.seconds < 0 || upstream.seconds < 0 || encode_same.seconds < 0) {
            state.SkipWithError("a pipeline failed");
            return;
        }
        state.SetIterationTime(glass.seconds);
    }
    trellin_bench::count_against_floor(state, glass, floor, node_fps, node_cpu);
    trellin_bench::count_against_same_pictures(state, glass, trellin_bench::one_after_the_other(upstream, encode_same),
                                               node_fps, node_cpu);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("BM_NodeAlone/1920/1080", BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
    const std::pair<const char*, Source> rows[] = {
        {"decodebin_to_x264enc", Source::clip},
        {"decodebin_to_x264enc_queued", Source::clip_queued},
        {"videotestsrc_to_x264enc", Source::test_source},
    };
    for (const auto& [name, source] : rows)
        benchmark::RegisterBenchmark(name, [source = source](benchmark::State& s) { BM_Pipeline(s, source); })
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
