// Frames per second of GStreamer pipelines through trellinglass, as
//   gst-launch-1.0 videotestsrc num-buffers=N ! video/x-raw,format=RGBA64_LE,...
//     ! trellinglass ... ! fakesink sync=false
// runs them, at 1280 x 720 and 1920 x 1080, with the default look and the
// heavy one ("ChromaticAb" 1, light on, "Smoothing" 3, Edge Wrap). Beside
// them the frei0r module in the same pipeline (8-bit RGBA, as frei0r takes
// it) and the source alone, so the figures can be read against the cost of
// making the frames. The "frames fed" rows hand both filters ready-made
// frames through appsrc instead, so their rates are the filters' own: in the
// videotestsrc pipelines the source makes each frame on the same streaming
// thread, before the filter sees it.
//
// Each iteration runs one pipeline of `frames_per_run` frames. The "fps"
// counter is the rate from each run's first frame out to its last (the
// pipeline's set-up and first frame left out, as a long stream leaves them
// out), and "cpu_ms/frame" the processor time of all the pipeline's threads
// per frame, set-up included (less dependent on what else the machine runs
// than the wall time). The node alone renders the same size in the same run;
// "of_node" is a default-look pipeline's rate as a share of it.
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

#include "bench/node_alone.h"

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

// The node alone's frames per second at each size (default look), for the
// pipelines' share of it ("of_node").
std::map<int, double> node_fps;

// Times of the frames leaving a pipeline (fakesink's hand-offs).
struct FramesOut {
    std::chrono::steady_clock::time_point first, last;
    long count = 0;
};

void frame_out(GstElement*, GstBuffer*, GstPad*, gpointer data)
{
    auto* out = static_cast<FramesOut*>(data);
    const auto now = std::chrono::steady_clock::now();
    if (out->count++ == 0) out->first = now;
    out->last = now;
}

// Runs `description` to its end; with `feed`, its appsrc "feed" is handed
// `frames_per_run` frames that share `feed`'s memory (so making them costs
// nothing). Returns an error message, empty on success.
std::string run_pipeline(const std::string& description, GstBuffer* feed, FramesOut& out)
{
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        std::string message = error->message;
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return message;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_signal_connect(sink, "handoff", G_CALLBACK(frame_out), &out);
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (feed != nullptr) {
        GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "feed");
        for (int i = 0; i < frames_per_run; ++i) {
            GstBuffer* frame = gst_buffer_copy(feed);  // shares feed's memory
            GST_BUFFER_PTS(frame) = GST_SECOND * guint64(i) / 25;
            GST_BUFFER_DURATION(frame) = GST_SECOND / 25;
            GstFlowReturn flow = GST_FLOW_OK;
            g_signal_emit_by_name(src, "push-buffer", frame, &flow);
            gst_buffer_unref(frame);
        }
        GstFlowReturn flow = GST_FLOW_OK;
        g_signal_emit_by_name(src, "end-of-stream", &flow);
        gst_object_unref(src);
    }
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool failed = GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR;
    gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (failed) return "the pipeline failed";
    if (out.count != frames_per_run) return "the pipeline gave " + std::to_string(out.count) + " frames";
    return "";
}

// `fed`: the frames are handed in ready-made through appsrc instead of made
// by videotestsrc, so the figures are the filter's own.
void BM_Pipeline(benchmark::State& state, Filter filter, int width, int height, const Look& look, bool fed)
{
    init_gstreamer();
    const char* format = filter == Filter::frei0r ? "RGBA" : "RGBA64_LE";
    const std::string caps = std::string("video/x-raw,format=") + format + ",width=" + std::to_string(width) +
                             ",height=" + std::to_string(height) + ",framerate=25/1";
    std::string description = fed ? "appsrc name=feed format=time caps=" + caps
                                  : "videotestsrc num-buffers=" + std::to_string(frames_per_run) + " ! " + caps;
    if (filter == Filter::glass) description += std::string(" ! trellinglass ") + look.glass;
    if (filter == Filter::frei0r) description += std::string(" ! frei0r-filter-trellin ") + look.frei0r;
    description += " ! fakesink name=out sync=false signal-handoffs=true";
    GstBuffer* feed = nullptr;
    if (fed) {
        const std::size_t bytes = std::size_t(width) * std::size_t(height) * (filter == Filter::frei0r ? 4 : 8);
        feed = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        GstMapInfo map;
        gst_buffer_map(feed, &map, GST_MAP_WRITE);
        for (std::size_t i = 0; i < bytes; ++i) map.data[i] = static_cast<guint8>(i * 61 % 251);
        gst_buffer_unmap(feed, &map);
    }
    const double cpu_start = trellin_bench::process_seconds();
    double seconds = 0;  // from each run's first frame out to its last
    for (auto _ : state) {
        FramesOut out;
        const std::string error = run_pipeline(description, feed, out);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
        seconds += std::chrono::duration<double>(out.last - out.first).count();
    }
    if (feed != nullptr) gst_buffer_unref(feed);
    const double frames = double(state.iterations()) * frames_per_run;
    // The rate of frames after the first: the pipeline's set-up and first
    // frame are left out, as a long stream leaves them out.
    const double rate = seconds > 0 ? double(state.iterations()) * (frames_per_run - 1) / seconds : 0.0;
    state.counters["fps"] = rate;
    if (filter != Filter::none && look.glass[0] == '\0' && node_fps[width] > 0)
        state.counters["of_node"] = rate / node_fps[width];
    state.counters["cpu_ms/frame"] = 1000.0 * (trellin_bench::process_seconds() - cpu_start) / frames;
}

const int sizes[][2] = {{1280, 720}, {1920, 1080}};

void BM_NodeAlone(benchmark::State& state, int width, int height)
{
    node_fps[width] = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height));
}

const bool registered = [] {
    for (const auto& size : sizes) {
        const std::string at = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        auto add = [&](const std::string& name, Filter filter, const Look& look, bool fed = false) {
            benchmark::RegisterBenchmark(name.c_str(), BM_Pipeline, filter, size[0], size[1], look, fed)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        };
        benchmark::RegisterBenchmark(("node alone/" + at).c_str(), BM_NodeAlone, size[0], size[1])
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        add("source only/" + at, Filter::none, looks[0]);
        add("trellinglass 16-bit, frames fed/" + at + "/defaults", Filter::glass, looks[0], true);
        add("frei0r 8-bit, frames fed/" + at + "/defaults", Filter::frei0r, looks[0], true);
        for (const Look& look : looks) {
            add("trellinglass 16-bit/" + at + "/" + look.name, Filter::glass, look);
            add("frei0r 8-bit/" + at + "/" + look.name, Filter::frei0r, look);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
