#include "support/subprocess.h"

#include "support/run_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

extern char** environ;

namespace testkit {

namespace {

std::vector<std::string> environment(const RunOptions& o)
{
    std::vector<std::string> result;
    for (char** e = environ; o.inherit_env && *e != nullptr; ++e) {
        bool replaced = false;
        for (const std::string& x : o.env)
            replaced = replaced || std::string(*e).rfind(x.substr(0, x.find('=')) + "=", 0) == 0;
        if (!replaced) result.emplace_back(*e);
    }
    for (const std::string& x : o.env)
        if (x.find('=') != std::string::npos) result.push_back(x);
    return result;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string temp_file()
{
    char name[] = "/tmp/testkit-out.XXXXXX";
    close(mkstemp(name));
    return name;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv_in, const RunOptions& o, const std::string& log,
                 const std::string& err_log, int fd3, int err_fd)
{
    std::vector<std::string> args = argv_in, envs = environment(o);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string in = o.stdin_file.empty() ? "/dev/null" : o.stdin_file;
    if (o.server != nullptr && o.server->takes(argv_in, o, fd3)) {
        const int in_fd = open(in.c_str(), O_RDONLY | O_CLOEXEC);
        const int out_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int e_fd = err_fd >= 0       ? err_fd
                         : err_log.empty() ? out_fd
                                           : open(err_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int fds[3] = {in_fd, out_fd, e_fd};
        if (in_fd >= 0 && out_fd >= 0 && e_fd >= 0) pid_ = o.server->start(args, envs, o.cwd, fds, o.file_size_limit);
        // The run has its own copies of them.
        if (in_fd >= 0) close(in_fd);
        if (out_fd >= 0) close(out_fd);
        if (e_fd >= 0 && e_fd != err_fd && e_fd != out_fd) close(e_fd);
        if (pid_ > 0) return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ != 0) return;
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(126);
    const int in_fd = open(in.c_str(), O_RDONLY);
    const int out_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e_fd = err_fd >= 0       ? err_fd
                     : err_log.empty() ? out_fd
                                       : open(err_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in_fd < 0 || out_fd < 0 || e_fd < 0) _exit(126);
    if (fd3 >= 0) dup2(fd3, 3);
    dup2(in_fd, 0);
    dup2(out_fd, 1);
    dup2(e_fd, 2);
    if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0) _exit(126);
    if (o.file_size_limit > 0) {
        const rlimit limit{rlim_t(o.file_size_limit), rlim_t(o.file_size_limit)};
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG, as on a full disk
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (o.memory_limit > 0) {
        const rlimit limit{rlim_t(o.memory_limit), rlim_t(o.memory_limit)};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

Process::Process(Process&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

bool Process::running()
{
    int status = 0;
    return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
}

int Process::wait(double timeout_s, void (*while_waiting)(void*), void* arg)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (pid_ > 0) {
        if (while_waiting) while_waiting(arg);
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
    return -1000;
}

void Process::stop()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

ProgramResult run_program(const std::vector<std::string>& argv, const RunOptions& o)
{
    ProgramResult r;
    const std::string out = temp_file(), err = temp_file();
    int terminal = -1, slave = -1;
    if (o.stderr_terminal) {
        terminal = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0)
            slave = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    }
    Process p(argv, o, out, err, -1, slave);
    if (slave >= 0) close(slave);
    // What the child writes to the terminal, read as it comes (a full terminal would block it).
    std::pair<int, std::string*> drain{terminal, &r.err};
    auto read_terminal = [](void* d) {
        auto& [fd, text] = *static_cast<std::pair<int, std::string*>*>(d);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) text->append(buffer, std::size_t(n));
    };
    r.code = p.wait(o.timeout_s, read_terminal, &drain);
    read_terminal(&drain);
    r.timed_out = r.code == -1000;
    if (terminal >= 0) close(terminal);
    r.out = slurp(out);
    if (!o.stderr_terminal) r.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

}  // namespace testkit
