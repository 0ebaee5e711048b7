#include "support/run_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "support/run_message.h"
#include "support/subprocess.h"

namespace testkit {

namespace {

// A request larger than this goes by exec instead.
constexpr std::size_t largest_request = 60 * 1024;

// True when `entry` ("NAME=VALUE" or "NAME") names a variable that a fresh
// program reads as it starts, before main: the loader's and the sanitizers'.
bool read_at_start(const std::string& entry)
{
    const std::string name = entry.substr(0, entry.find('='));
    return name.rfind("LD_", 0) == 0 || name.find("SAN_OPTIONS") != std::string::npos ||
           name.rfind("MALLOC_", 0) == 0 || name.rfind("GLIBC_", 0) == 0;
}

}  // namespace

RunServer::RunServer(std::string path, std::string program, std::vector<std::string> executed)
    : path_(std::move(path)), program_(std::move(program)), executed_(std::move(executed))
{
}

RunServer::~RunServer()
{
    if (socket_ >= 0) ::close(socket_);  // the server ends when its socket does
    if (server_ > 0) ::waitpid(server_, nullptr, 0);
}

bool RunServer::takes(const std::vector<std::string>& argv, const RunOptions& options, int fd3) const
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer builds execute every run (tests/CMakeLists.txt says why).
    (void)argv, (void)options, (void)fd3;
    return false;
#endif
    // TRELLIN_TESTS_EXEC=1 executes every run, to compare.
    const char* exec = std::getenv("TRELLIN_TESTS_EXEC");
    if (exec != nullptr && std::string(exec) == "1") return false;
    if (argv.empty() || argv[0] != program_ || fd3 >= 0 || options.memory_limit > 0 || !options.inherit_env)
        return false;
    for (const std::string& command : executed_)
        if (argv.size() > 1 && argv[1] == command) return false;
    for (const std::string& e : options.env)
        if (read_at_start(e)) return false;
    return ::access(path_.c_str(), X_OK) == 0;
}

bool RunServer::launch()
{
    if (failed_) return false;
    if (socket_ >= 0) return true;
    failed_ = true;
    // Runs whose parent (the server's run of fork) ends come to this process.
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) return false;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(126);
        ::dup2(ends[1], 3);  // without close-on-exec
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::execl(path_.c_str(), path_.c_str(), "3", nullptr);
        ::_exit(127);
    }
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        return false;
    }
    socket_ = ends[0];
    server_ = pid;
    failed_ = false;
    return true;
}

pid_t RunServer::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd, const int fds[3], long long file_size_limit)
{
    std::string request(run_request_head, '\0');
    const std::int64_t limit = file_size_limit;
    const std::uint32_t counts[2] = {std::uint32_t(argv.size()), std::uint32_t(env.size())};
    std::memcpy(request.data(), &limit, sizeof limit);
    std::memcpy(request.data() + sizeof limit, counts, sizeof counts);
    for (const auto* list : {&argv, &env})
        for (const std::string& s : *list) request.append(s).push_back('\0');
    request.append(cwd).push_back('\0');
    if (request.size() > largest_request) return -1;

    std::lock_guard<std::mutex> hold(lock_);
    if (!launch()) return -1;
    RunMessage sent(request.data(), request.size());
    msghdr& message = sent.header;
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(run_descriptors * sizeof(int));
    std::memcpy(CMSG_DATA(rights), fds, run_descriptors * sizeof(int));
    std::int32_t pid = -1;
    if (::sendmsg(socket_, &message, MSG_NOSIGNAL) != ssize_t(request.size()) ||
        ::recv(socket_, &pid, sizeof pid, 0) != ssize_t(sizeof pid)) {
        // A server that went away takes no more runs.
        ::close(socket_);
        socket_ = -1;
        failed_ = true;
        return -1;
    }
    return pid;
}

}  // namespace testkit
