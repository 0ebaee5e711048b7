// Frames per second of GStreamer pipelines through trellinglass, as
//   gst-launch-1.0 videotestsrc num-buffers=N ! video/x-raw,format=RGBA64_LE,...
//     ! trellinglass ... ! fakesink sync=false
// runs them, at 1280 x 720 and 1920 x 1080, with the default look and the
// heavy one ("ChromaticAb" 1, light on, "Smoothing" 3, Edge Wrap). Beside
// them the frei0r module in the same pipeline (8-bit RGBA, as frei0r takes
// it) and the source alone, so the figures can be read against the cost of
// making the frames. Each iteration runs one pipeline of `frames_per_run`
// frames; the "fps" counter is frames per second of wall time, and
// "cpu_ms/frame" the processor time of all the pipeline's threads per frame
// (less dependent on what else the machine runs than the wall time). The
// node alone renders the same size in the same run; "of_node" is a default-
// look pipeline's rate as a share of it (its pipeline set-up included, so a
// little low).
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/module_loader.h"

namespace {

constexpr int frames_per_run = 48;

enum class Filter { none, glass, frei0r };

struct Look {
    const char* name;
    const char* glass;   // trellinglass properties
    const char* frei0r;  // the same for frei0r-filter-trellin (0..1 across each range)
};

const Look looks[] = {
    {"defaults", "", ""},
    {"heavy", "chromatic-ab=1 light-active=true smoothing=3 edge=wrap",
     "chromaticab=0.005 light-active=true smoothing=0.3 edge=Wrap"},
};

void init_gstreamer()
{
    static const bool done = [] {
        static const std::string registry = "/tmp/trellin-bench-registry-" + std::to_string(::getpid()) + ".bin";
        ::setenv("GST_PLUGIN_PATH", TRELLIN_LIB_DIR "/gstreamer-1.0", 1);
        ::setenv("FREI0R_PATH", TRELLIN_LIB_DIR "/frei0r-1", 1);
        ::setenv("GST_REGISTRY", registry.c_str(), 1);
        std::atexit([] { std::remove(registry.c_str()); });
        gst_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

// Processor time of the whole process so far, in seconds.
double process_seconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// The node alone's frames per second at each size (default look), for the
// pipelines' share of it ("of_node").
std::map<int, double> node_fps;

void BM_Pipeline(benchmark::State& state, Filter filter, int width, int height, const Look& look)
{
    init_gstreamer();
    std::string description = "videotestsrc num-buffers=" + std::to_string(frames_per_run) +
                              " ! video/x-raw,format=" + (filter == Filter::frei0r ? "RGBA" : "RGBA64_LE") +
                              ",width=" + std::to_string(width) + ",height=" + std::to_string(height) +
                              ",framerate=25/1";
    if (filter == Filter::glass) description += std::string(" ! trellinglass ") + look.glass;
    if (filter == Filter::frei0r) description += std::string(" ! frei0r-filter-trellin ") + look.frei0r;
    description += " ! fakesink sync=false";
    const double cpu_start = process_seconds();
    const auto wall_start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
        if (error != nullptr) {
            state.SkipWithError(error->message);
            g_error_free(error);
            if (pipeline != nullptr) gst_object_unref(pipeline);
            return;
        }
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* end = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool failed = GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR;
        gst_message_unref(end);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        if (failed) {
            state.SkipWithError("the pipeline failed");
            return;
        }
    }
    const double frames = double(state.iterations()) * frames_per_run;
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    if (filter != Filter::none && look.glass[0] == '\0' && node_fps[width] > 0 && seconds > 0)
        state.counters["of_node"] = frames / seconds / node_fps[width];
    state.counters["cpu_ms/frame"] = 1000.0 * (process_seconds() - cpu_start) / frames;
}

const int sizes[][2] = {{1280, 720}, {1920, 1080}};

void BM_NodeAlone(benchmark::State& state, int width, int height)
{
    const trellin_app::NodeModule module = trellin_app::NodeModule::find(TRELLIN_BIN_DIR);
    trellin_app::NodePtr node = module.create_node();
    trellin_app::HostPicture picture(width, height, 4), result;
    for (std::size_t i = 0; i < picture.data.size(); ++i)
        picture.data[i] = std::uint16_t(i % 4 == 3 ? 65535 : (i * 61) % 65536);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (trellin_app::render_frame(*node, picture, result, 0.0) != 1) {
            state.SkipWithError("render failed");
            return;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > 0) node_fps[width] = double(state.iterations()) / seconds;
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

const bool registered = [] {
    for (const auto& size : sizes) {
        const std::string at = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        auto add = [&](const std::string& name, Filter filter, const Look& look) {
            benchmark::RegisterBenchmark(name.c_str(), BM_Pipeline, filter, size[0], size[1], look)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        };
        benchmark::RegisterBenchmark(("node alone/" + at).c_str(), BM_NodeAlone, size[0], size[1])
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        add("source only/" + at, Filter::none, looks[0]);
        for (const Look& look : looks) {
            add("trellinglass 16-bit/" + at + "/" + look.name, Filter::glass, look);
            add("frei0r 8-bit/" + at + "/" + look.name, Filter::frei0r, look);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
