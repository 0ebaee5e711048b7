// Running outside programs from tests: one in the background (ended by its
// own process id when its handle goes, and by the kernel when the test program
// dies first) or to completion with its output captured, always with a deadline.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testkit {

class RunServer;

struct RunOptions {
    std::vector<std::string> env;  // "NAME=VALUE" added or replacing; "NAME" removes
    bool inherit_env = true;       // start from this process's environment
    std::string stdin_file;        // default: empty input
    std::string cwd;               // default: this process's
    bool stderr_terminal = false;  // standard error on a pseudo-terminal (run_program only)
    double timeout_s = 60;
    long long file_size_limit = 0;  // bytes a file may grow to (RLIMIT_FSIZE, SIGXFSZ ignored): a full disk; 0: none
    long long memory_limit = 0;     // bytes of address space (RLIMIT_AS); 0: none
    RunServer* server = nullptr;    // starts the runs it takes (run_server.h); others are executed

    // Chained setters, e.g. RunOptions().with_env({"A=1"}).within(10).
    RunOptions& with_env(const std::vector<std::string>& e)
    {
        env.insert(env.end(), e.begin(), e.end());
        return *this;
    }
    RunOptions& clean_env()
    {
        inherit_env = false;
        return *this;
    }
    RunOptions& input(const std::string& file)
    {
        stdin_file = file;
        return *this;
    }
    RunOptions& in(const std::string& dir)
    {
        cwd = dir;
        return *this;
    }
    RunOptions& terminal()
    {
        stderr_terminal = true;
        return *this;
    }
    RunOptions& within(double seconds)
    {
        timeout_s = seconds;
        return *this;
    }
    RunOptions& disk_full_after(long long bytes)
    {
        file_size_limit = bytes;
        return *this;
    }
    RunOptions& memory(long long bytes)
    {
        memory_limit = bytes;
        return *this;
    }
    RunOptions& through(RunServer& s)
    {
        server = &s;
        return *this;
    }
};

struct ProgramResult {
    int code = -1;           // exit status; -signal when a signal ended it
    bool timed_out = false;  // killed at the deadline
    std::string out, err;
};

class Process {
public:
    Process() = default;
    // Starts `argv` (argv[0] looked up in PATH) with standard output and error
    // to `log` (or to `err_log` when given), and `fd3` as descriptor 3.
    Process(const std::vector<std::string>& argv, const RunOptions& options, const std::string& log,
            const std::string& err_log = "", int fd3 = -1, int err_fd = -1);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process() { stop(); }

    pid_t pid() const { return pid_; }
    bool running();
    // The exit status (-signal when killed) once it ends, waiting at most
    // `timeout_s` seconds; -1000 when it had to be killed at the deadline.
    // `while_waiting` runs between polls.
    int wait(double timeout_s, void (*while_waiting)(void*) = nullptr, void* arg = nullptr);
    // SIGTERM, then SIGKILL after three seconds.
    void stop();

private:
    pid_t pid_ = -1;
};

ProgramResult run_program(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace testkit
