// How long trellin takes as a whole process, from fork to exit, and how much
// memory it peaks at: --help, looks and pipe (three small raw frames through
// the effect), which load no picture library, beside render of a small
// picture, which does. Each figure is the median of 10 runs; ms and peak_MB
// are its counters, and of_render the run's time as a share of render's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/work_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int runs = 10;

const std::string trellin = std::string(TRELLIN_BIN_DIR) + "/trellin";

struct ProcessRun {
    double ms = 0;
    double peak_mb = 0;
};

using trellin_bench::work_dir;

// Runs trellin with `args` (standard input from `input`, or empty), its
// output discarded; aborts the benchmark when it fails.
ProcessRun run_once(benchmark::State& state, const std::vector<std::string>& args, const std::string& input)
{
    std::vector<char*> argv{const_cast<char*>(trellin.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0) ::_exit(127);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    const pid_t waited = pid > 0 ? ::wait4(pid, &status, 0, &usage) : -1;
    const auto end = std::chrono::steady_clock::now();
    if (waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        state.SkipWithError(("trellin " + args.front() + " failed").c_str());
        return {};
    }
    return {std::chrono::duration<double, std::milli>(end - start).count(), double(usage.ru_maxrss) / 1024.0};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

ProcessRun median_run(benchmark::State& state, const std::vector<std::string>& args, const std::string& input = "")
{
    std::vector<double> ms, mb;
    for (int i = 0; i < runs && !state.error_occurred(); ++i) {
        const ProcessRun r = run_once(state, args, input);
        ms.push_back(r.ms);
        mb.push_back(r.peak_mb);
    }
    return {median(ms), median(mb)};
}

// A 160 x 90 picture (binary PPM) to render.
std::string small_picture()
{
    const fs::path path = work_dir() / "small.ppm";
    if (!fs::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n160 90\n255\n";
        for (int i = 0; i < 160 * 90 * 3; ++i) out.put(char((i * 7) % 251));
    }
    return path.string();
}

// Three 64 x 64 frames of 16-bit RGBA for pipe.
std::string raw_frames()
{
    const fs::path path = work_dir() / "frames.raw";
    if (!fs::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 3 * 64 * 64 * 4; ++i) {
            const std::uint16_t v = std::uint16_t(i * 37);
            out.put(char(v & 0xff)).put(char(v >> 8));
        }
    }
    return path.string();
}

std::vector<std::string> render_args()
{
    return {"render", small_picture(), (work_dir() / "out.png").string(), "-q"};
}

// render's median time, measured once for the others' share.
double render_ms(benchmark::State& state)
{
    static const double ms = median_run(state, render_args()).ms;
    return ms;
}

void report(benchmark::State& state, const ProcessRun& r, bool with_share)
{
    state.SetIterationTime(r.ms / 1000.0);
    state.counters["ms"] = r.ms;
    state.counters["peak_MB"] = r.peak_mb;
    if (with_share) {
        const double baseline = render_ms(state);
        if (baseline > 0) state.counters["of_render"] = r.ms / baseline;
    }
}

void BM_Help(benchmark::State& state)
{
    for (auto _ : state) report(state, median_run(state, {"--help"}), true);
}

void BM_Looks(benchmark::State& state)
{
    for (auto _ : state) report(state, median_run(state, {"looks"}), true);
}

void BM_Pipe(benchmark::State& state)
{
    for (auto _ : state) report(state, median_run(state, {"pipe", "--size", "64x64"}, raw_frames()), true);
}

void BM_RenderSmallPicture(benchmark::State& state)
{
    for (auto _ : state) report(state, median_run(state, render_args()), false);
}

BENCHMARK(BM_Help)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Looks)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pipe)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSmallPicture)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
