// The OBS filter's cost per 1920 x 1080 frame beside the node alone, in the
// same run.
//
// Asynchronous NV12: what the filter's worker does with a camera's frame:
// NV12 to RGB with the frame's matrix and range, the render, and RGB back
// to NV12 in the frame's memory ("filter_ms"), against the node rendering a
// 16-bit picture of the same size ("node_ms"), alternately in each
// iteration; "share_%" is the node's share of the filter's time.
//
// Synchronous (an image source): the worker's part (8-bit RGBA to the
// node's samples, the render, back to 8 bits) measured the same way, plus
// what the filter adds to OBS's graphics thread (drawing the source into a
// texture, reading it back, uploading the result and drawing it), taken
// from a real libobs at 1080p30 under Xvfb as the difference of OBS's
// average frame time with and without the filter ("graphics_ms"). The same
// run counts the frames OBS lagged with the filter ("lagged") over
// `obs_seconds`.
#include <benchmark/benchmark.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include "apps/common/core/sample_convert.h"
#include "apps/obs/frame_colour.h"
#include "apps/obs/glass_render.h"
#include "bench/node_alone.h"

extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
}

namespace {

constexpr int width = 1920, height = 1080;
constexpr double obs_seconds = 10.0;

using clock_type = std::chrono::steady_clock;

const trellin_app::NodeModule& module()
{
    static const trellin_app::NodeModule loaded = trellin_app::NodeModule::find(TRELLIN_BIN_DIR);
    return loaded;
}

// An NV12 frame of the benchmark's picture, BT.709 limited range.
struct Nv12Frame {
    std::vector<std::uint8_t> luma, chroma;
    obs_source_frame frame{};
    std::vector<float> rgb;

    Nv12Frame()
    {
        luma.resize(std::size_t(width) * height);
        chroma.resize(std::size_t(width) * height / 2);
        frame.data[0] = luma.data();
        frame.data[1] = chroma.data();
        frame.linesize[0] = frame.linesize[1] = width;
        frame.width = width;
        frame.height = height;
        frame.format = VIDEO_FORMAT_NV12;
        video_format_get_parameters_for_format(VIDEO_CS_709, VIDEO_RANGE_PARTIAL, VIDEO_FORMAT_NV12, frame.color_matrix,
                                               frame.color_range_min, frame.color_range_max);
        const std::vector<std::uint16_t> samples = trellin_bench::frame_samples(width, height);
        rgb.resize(std::size_t(width) * height * 3);
        for (std::size_t i = 0, o = 0; i < samples.size(); i += 4)
            for (int c = 0; c < 3; ++c) rgb[o++] = float(samples[i + std::size_t(c)]) / 65535.0f;
        refill();
    }
    // The source's picture again (the filter renders in place).
    void refill()
    {
        trellin_obs::YuvColour colour;
        trellin_obs::yuv_colour(frame, colour);
        trellin_obs::write_yuv(rgb, colour, frame);
    }
};

void report_wall(benchmark::State& state, clock_type::duration node, clock_type::duration filter)
{
    const double node_ms = std::chrono::duration<double, std::milli>(node).count();
    const double filter_ms = std::chrono::duration<double, std::milli>(filter).count();
    if (state.iterations() > 0 && filter_ms > 0) {
        state.counters["node_ms"] = node_ms / double(state.iterations());
        state.counters["filter_ms"] = filter_ms / double(state.iterations());
        state.counters["share_%"] = 100.0 * node_ms / filter_ms;
    }
}

// Wall and processor time of the node and of the filter, summed over the
// iterations.
struct Times {
    clock_type::duration node{}, filter{};
    double node_cpu = 0.0, filter_cpu = 0.0;
};

// Runs `node_frame` then `filter_frame` once, adding their times; false
// when either failed.
template <class NodeFrame, class FilterFrame>
bool measure(Times& times, const NodeFrame& node_frame, const FilterFrame& filter_frame)
{
    const double c0 = trellin_bench::process_seconds();
    const auto t0 = clock_type::now();
    const bool node_done = node_frame();
    const auto t1 = clock_type::now();
    const double c1 = trellin_bench::process_seconds();
    const bool filter_done = filter_frame();
    times.node += t1 - t0;
    times.filter += clock_type::now() - t1;
    times.node_cpu += c1 - c0;
    times.filter_cpu += trellin_bench::process_seconds() - c1;
    return node_done && filter_done;
}

// "node_ms" and "filter_ms" per frame of wall time, "share_%" the node's
// share of the filter's; the same of processor time (all threads), which
// depends less on what else the machine runs.
void report(benchmark::State& state, const Times& times)
{
    if (state.iterations() == 0) return;
    const double n = double(state.iterations());
    state.counters["node_cpu_ms"] = 1000.0 * times.node_cpu / n;
    state.counters["filter_cpu_ms"] = 1000.0 * times.filter_cpu / n;
    if (times.filter_cpu > 0) state.counters["cpu_share_%"] = 100.0 * times.node_cpu / times.filter_cpu;
    report_wall(state, times.node, times.filter);
}

void BM_AsyncNv12(benchmark::State& state)
{
    trellin_app::NodePtr node = module().create_node();
    trellin_obs::GlassRender render(module().create_node());
    const trellin_app::HostPicture picture = trellin_bench::frame_picture(width, height);
    trellin_app::HostPicture result;
    Nv12Frame nv12;
    // First frames outside the measure: the buffers are made once.
    if (trellin_app::render_frame(*node, picture, result, 0.0) != 1 || !render.render_frame(nv12.frame, 0.0)) {
        state.SkipWithError("render failed");
        return;
    }
    Times times;
    for (auto _ : state) {
        state.PauseTiming();
        nv12.refill();
        state.ResumeTiming();
        if (!measure(
                times, [&] { return trellin_app::render_frame(*node, picture, result, 0.0) == 1; },
                [&] { return render.render_frame(nv12.frame, 0.0); })) {
            state.SkipWithError("render failed");
            break;
        }
    }
    report(state, times);
}

// The conversions alone: NV12 to the node's samples and back.
void BM_Nv12Conversions(benchmark::State& state)
{
    Nv12Frame nv12;
    trellin_obs::YuvColour colour;
    trellin_obs::yuv_colour(nv12.frame, colour);
    trellin_app::HostPicture rgb;
    const double cpu_start = trellin_bench::process_seconds();
    for (auto _ : state) {
        trellin_obs::read_yuv(nv12.frame, colour, rgb);
        trellin_obs::write_yuv(rgb, colour, nv12.frame);
    }
    if (state.iterations() > 0)
        state.counters["cpu_ms"] = 1000.0 * (trellin_bench::process_seconds() - cpu_start) / double(state.iterations());
}

// A real libobs at 1080p30 on an X server of its own: OBS's average frame
// time with an image source alone and with the filter on it, and the frames
// lagged with the filter.
struct ObsRun {
    double plain_ms = 0.0, filtered_ms = 0.0;
    std::uint32_t lagged = 0, frames = 0;
    std::string error;
};

ObsRun run_obs(const std::string& picture_path)
{
    ObsRun out;
    int fds[2];
    if (::pipe(fds) != 0) return {0, 0, 0, 0, "no pipe"};
    const pid_t xvfb = ::fork();
    if (xvfb == 0) {
        ::dup2(fds[1], 3);
        ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    for (char c = 0; ::read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
    ::close(fds[0]);
    auto stop = [&] {
        ::kill(xvfb, SIGTERM);
        ::waitpid(xvfb, nullptr, 0);
    };
    if (number.empty()) {
        stop();
        return {0, 0, 0, 0, "Xvfb did not start"};
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(XOpenDisplay((":" + number).c_str()));
    if (!obs_startup("en-US", nullptr, nullptr)) {
        stop();
        return {0, 0, 0, 0, "obs_startup failed"};
    }
    obs_video_info ovi{};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = 30;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = width;
    ovi.base_height = ovi.output_height = height;
    ovi.output_format = VIDEO_FORMAT_BGRA;
    ovi.colorspace = VIDEO_CS_SRGB;
    ovi.range = VIDEO_RANGE_FULL;
    ovi.scale_type = OBS_SCALE_DISABLE;
    obs_module_t* image_module = nullptr;
    obs_module_t* glass_module = nullptr;
    if (obs_reset_video(&ovi) != OBS_VIDEO_SUCCESS ||
        obs_open_module(&image_module, "/usr/lib/x86_64-linux-gnu/obs-plugins/image-source.so",
                        "/usr/share/obs/obs-plugins/image-source") != MODULE_SUCCESS ||
        !obs_init_module(image_module) ||
        obs_open_module(&glass_module, TRELLIN_LIB_DIR "/obs-plugins/trellin-obs.so",
                        TRELLIN_LIB_DIR "/../share/obs/obs-plugins/trellin-obs") != MODULE_SUCCESS ||
        !obs_init_module(glass_module)) {
        obs_shutdown();
        stop();
        return {0, 0, 0, 0, "OBS could not start its video or load the modules"};
    }
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "file", picture_path.c_str());
    obs_source_t* image = obs_source_create("image_source", "picture", settings, nullptr);
    obs_data_release(settings);
    obs_set_output_source(0, image);
    const auto wait = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
    wait(obs_seconds / 2);
    out.plain_ms = double(obs_get_average_frame_time_ns()) / 1e6;

    obs_source_t* glass = obs_source_create("trellin_glass", "glass", nullptr, nullptr);
    obs_source_filter_add(image, glass);
    wait(1.0);
    const std::uint32_t lagged_before = obs_get_lagged_frames(), total_before = obs_get_total_frames();
    wait(obs_seconds);
    out.filtered_ms = double(obs_get_average_frame_time_ns()) / 1e6;
    out.lagged = obs_get_lagged_frames() - lagged_before;
    out.frames = obs_get_total_frames() - total_before;

    obs_set_output_source(0, nullptr);
    obs_source_filter_remove(image, glass);
    obs_source_release(glass);
    obs_source_release(image);
    obs_shutdown();
    stop();
    return out;
}

void BM_SyncImage(benchmark::State& state)
{
    trellin_app::NodePtr node = module().create_node();
    trellin_obs::GlassRender render(module().create_node());
    const trellin_app::HostPicture picture = trellin_bench::frame_picture(width, height);
    trellin_app::HostPicture result;
    std::vector<std::uint8_t> rgba(picture.data.size()), out;
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = trellin_app::to_8bit(picture.data[i]);
    if (trellin_app::render_frame(*node, picture, result, 0.0) != 1 ||
        !render.render_rgba(rgba.data(), width, height, width * 4, out, 0.0)) {
        state.SkipWithError("render failed");
        return;
    }
    Times times;
    for (auto _ : state) {
        if (!measure(
                times, [&] { return trellin_app::render_frame(*node, picture, result, 0.0) == 1; },
                [&] { return render.render_rgba(rgba.data(), width, height, width * 4, out, 0.0); })) {
            state.SkipWithError("render failed");
            break;
        }
    }
    report(state, times);

    // The picture as a file OBS's image source reads.
    const std::string path = "/tmp/trellin-bench-obs-" + std::to_string(::getpid()) + ".bmp";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        const std::uint32_t size = 54 + std::uint32_t(rgba.size());
        std::uint8_t header[54] = {'B', 'M'};
        auto put = [&](int at, std::uint32_t v) { std::memcpy(header + at, &v, 4); };
        put(2, size);
        put(10, 54);
        put(14, 40);
        put(18, width);
        put(22, height);  // rows bottom first: the orientation does not matter here
        header[26] = 1;
        header[28] = 32;
        put(34, std::uint32_t(rgba.size()));
        std::fwrite(header, 1, 54, f);
        std::vector<std::uint8_t> bgra(rgba);
        for (std::size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
        std::fwrite(bgra.data(), 1, bgra.size(), f);
        std::fclose(f);
    }
    const ObsRun obs = run_obs(path);
    std::remove(path.c_str());
    if (!obs.error.empty()) {
        state.SkipWithError(obs.error.c_str());
        return;
    }
    state.counters["graphics_ms"] = obs.filtered_ms - obs.plain_ms;
    state.counters["obs_frame_ms"] = obs.filtered_ms;
    state.counters["lagged"] = obs.lagged;
    state.counters["obs_frames"] = obs.frames;
}

void BM_NodeAlone(benchmark::State& state)
{
    trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height));
}

BENCHMARK(BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Nv12Conversions)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AsyncNv12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SyncImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
