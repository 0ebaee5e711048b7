// One whole run of another program, as the benchmarks that time processes
// take it: its wall seconds (negative when it failed), the processor seconds
// it used (user and system, all its threads) and its peak memory.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace trellin_bench {

struct ProgramRun {
    double seconds = -1.0;
    double cpu_seconds = 0.0;
    double max_rss_mb = 0.0;
};

// Runs `program` (found on PATH when it names no folder) with `args` to its end.
inline ProgramRun run_program(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ProgramRun r;
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto in_seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    r.cpu_seconds = in_seconds(usage.ru_utime) + in_seconds(usage.ru_stime);
    r.max_rss_mb = double(usage.ru_maxrss) / 1024.0;
    return r;
}

// Seconds a frame of a program's run over `frames` frames, its start left
// out: the run of `whole` less the run of `first` (one frame), over the
// frames after the first, and likewise its processor seconds. The peak
// memory is the whole run's; the seconds are negative when either run failed.
inline ProgramRun per_frame(const std::string& program, const std::vector<std::string>& whole,
                            const std::vector<std::string>& first, int frames)
{
    const ProgramRun one = run_program(program, first);
    ProgramRun all = run_program(program, whole);
    if (one.seconds < 0 || all.seconds < 0) return ProgramRun{};
    all.seconds = std::max(all.seconds - one.seconds, 1e-6) / (frames - 1);
    all.cpu_seconds = std::max(all.cpu_seconds - one.cpu_seconds, 1e-6) / (frames - 1);
    return all;
}

}  // namespace trellin_bench
