// Frames per second of `trellin pipe` over 1920 x 1080 frames of 16-bit RGBA
// (ffmpeg's rgba64le), beside the node alone rendering the same frame in the
// same run. The pipe's rate is taken from its first frame out to its last,
// so the program's start and the first frame's set-up are left out; "fps" is
// frames per second of wall time and "of_node" the pipe's rate as a share of
// the node's. The frames through cat show what the pipes' copies cost alone.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "bench/node_alone.h"

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frames = 48;

// The node's frames per second, measured once for the pipe's share.
double node_fps = 0.0;

void BM_NodeAlone(benchmark::State& state)
{
    node_fps = trellin_bench::node_alone(state, trellin_bench::frame_picture(width, height));
}

bool write_all(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// One run of `frames` frames through `trellin pipe` (or, with `plumbing`,
// through cat, which only copies them); the seconds from its first frame out
// to its last, or a negative number when it failed.
double pipe_run(const std::vector<std::uint16_t>& frame, bool plumbing = false)
{
    int to_child[2], from_child[2];
    if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) return -1;
    const std::string program = std::string(TRELLIN_BIN_DIR) + "/trellin";
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(to_child[0], STDIN_FILENO);
        ::dup2(from_child[1], STDOUT_FILENO);
        for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) ::close(fd);
        if (plumbing)
            ::execlp("cat", "cat", nullptr);
        else
            ::execl(program.c_str(), program.c_str(), "pipe", "--size", size.c_str(), "-q", nullptr);
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    std::thread feeder([&] {
        for (int i = 0; i < frames; ++i)
            if (!write_all(to_child[1], frame.data(), frame.size() * sizeof(std::uint16_t))) break;
        ::close(to_child[1]);
    });
    const std::size_t frame_bytes = frame.size() * sizeof(std::uint16_t);
    std::vector<char> buffer(1 << 20);
    std::size_t total = 0;
    std::chrono::steady_clock::time_point first, last;
    for (;;) {
        const ssize_t n = ::read(from_child[0], buffer.data(), buffer.size());
        if (n <= 0) break;
        const std::size_t before = total / frame_bytes;
        total += std::size_t(n);
        if (total / frame_bytes > before) {
            last = std::chrono::steady_clock::now();
            if (before == 0) first = last;
        }
    }
    ::close(from_child[0]);
    feeder.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || total != frame_bytes * frames) return -1;
    return std::chrono::duration<double>(last - first).count();
}

void BM_Pipe(benchmark::State& state)
{
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::uint16_t> frame = trellin_bench::frame_samples(width, height);
    double seconds = 0.0;
    for (auto _ : state) {
        const double s = pipe_run(frame);
        if (s <= 0) {
            state.SkipWithError("trellin pipe failed");
            return;
        }
        state.SetIterationTime(s / (frames - 1));
        seconds += s;
    }
    const double fps = double(state.iterations()) * (frames - 1) / seconds;
    state.counters["fps"] = fps;
    if (node_fps > 0) state.counters["of_node"] = fps / node_fps;
}

// The same frames through cat: what the pipes' copies alone cost (the
// feeder's and reader's here, and the program's own read and write), which
// trellin pipe pays beside the node's work on the same processors.
void BM_PlumbingAlone(benchmark::State& state)
{
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::uint16_t> frame = trellin_bench::frame_samples(width, height);
    double seconds = 0.0;
    for (auto _ : state) {
        const double s = pipe_run(frame, true);
        if (s <= 0) {
            state.SkipWithError("cat failed");
            return;
        }
        state.SetIterationTime(s / (frames - 1));
        seconds += s;
    }
    state.counters["fps"] = double(state.iterations()) * (frames - 1) / seconds;
}

BENCHMARK(BM_NodeAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlumbingAlone)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_Pipe)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
