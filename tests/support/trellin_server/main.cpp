// trellin's runs for the command-line tests (support/run_server.h): loads
// trellin's picture library once, then for each request on the socket at
// descriptor argv[1] forks a run of trellin's main with the request's
// arguments, environment, folder, descriptors and file size limit, and
// answers with the run's process id once the run has been handed to the
// requesting process.
#include <dlfcn.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "apps/common/core/module_loader.h"
#include "apps/trellin/command_line.h"
#include "apps/trellin/picture_library.h"
#include "tests/support/run_message.h"

extern char** environ;

namespace {

struct Request {
    std::int64_t file_size_limit = 0;
    std::vector<std::string> argv, env;
    std::string cwd;
    int fds[3] = {-1, -1, -1};
};

// The next request; false when the requesting process has gone.
bool receive(int socket, Request& r)
{
    std::vector<char> bytes(64 * 1024);
    testkit::RunMessage received(bytes.data(), bytes.size());
    msghdr& message = received.header;
    const ssize_t n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    const cmsghdr* rights = CMSG_FIRSTHDR(&message);
    const std::size_t head = testkit::run_request_head;
    if (n < ssize_t(head) || rights == nullptr || rights->cmsg_type != SCM_RIGHTS ||
        rights->cmsg_len != CMSG_LEN(testkit::run_descriptors * sizeof(int)))
        return false;
    std::memcpy(r.fds, CMSG_DATA(rights), sizeof r.fds);
    std::uint32_t counts[2];
    std::memcpy(&r.file_size_limit, bytes.data(), sizeof r.file_size_limit);
    std::memcpy(counts, bytes.data() + sizeof r.file_size_limit, sizeof counts);
    const char* p = bytes.data() + head;
    const char* end = bytes.data() + n;
    const auto next = [&p, end]() {
        std::string s(p, ::strnlen(p, std::size_t(end - p)));
        p += std::min<std::size_t>(s.size() + 1, std::size_t(end - p));
        return s;
    };
    r.argv.clear();
    r.env.clear();
    for (std::uint32_t i = 0; i < counts[0]; ++i) r.argv.push_back(next());
    for (std::uint32_t i = 0; i < counts[1]; ++i) r.env.push_back(next());
    r.cwd = next();
    return !r.argv.empty();
}

// `list` as a null-ended array of C strings that lives until the process ends.
char** strings(const std::vector<std::string>& list)
{
    char** array = new char*[list.size() + 1];
    for (std::size_t i = 0; i < list.size(); ++i) array[i] = ::strdup(list[i].c_str());
    array[list.size()] = nullptr;
    return array;
}

// The run itself, once it is the requesting process's child.
[[noreturn]] void run(Request& r, pid_t client)
{
    while (::getppid() != client) {
        if (::getppid() == 1) ::_exit(126);
        ::usleep(50);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != client) ::_exit(126);
    for (int fd = 0; fd < 3; ++fd) ::dup2(r.fds[fd], fd);
    ::close_range(3, ~0u, 0);
    if (!r.cwd.empty() && ::chdir(r.cwd.c_str()) != 0) ::_exit(126);
    if (r.file_size_limit > 0) {
        const rlimit limit{rlim_t(r.file_size_limit), rlim_t(r.file_size_limit)};
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG, as on a full disk
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    char** const args = strings(r.argv);
    environ = strings(r.env);
    const int argc = int(r.argv.size());
    trellin_cli::keep_command_line(argc, args);
    const int code = trellin_cli::run_command_line(argc, args);
    // The run ends without the static destructors: some of the libraries'
    // wait for threads they started when loaded, which the server has but
    // its forked runs do not. What a program's exit would flush and check
    // is done here.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(code);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const int socket = std::atoi(argv[1]);
    const pid_t client = ::getppid();
    // What a run that reads pictures would load first (the run's own dlopen
    // then finds it loaded).
    const std::string library = trellin_app::executable_dir() + "/" + trellin_cli::picture_library_file;
    if (::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr) return 1;

    Request r;
    while (receive(socket, r)) {
        int handed[2];
        if (::pipe(handed) != 0) return 1;
        const pid_t middle = ::fork();
        if (middle == 0) {
            const pid_t pid = ::fork();
            if (pid == 0) run(r, client);
            const std::int32_t sent = pid;
            ::_exit(::write(handed[1], &sent, sizeof sent) == sizeof sent ? 0 : 1);
        }
        ::close(handed[1]);
        std::int32_t pid = -1;
        if (middle < 0 || ::read(handed[0], &pid, sizeof pid) != sizeof pid) pid = -1;
        ::close(handed[0]);
        // The run is the requesting process's child once `middle` has ended.
        if (middle > 0) ::waitpid(middle, nullptr, 0);
        for (int fd : r.fds) ::close(fd);
        if (::send(socket, &pid, sizeof pid, MSG_NOSIGNAL) != sizeof pid) return 0;
    }
    return 0;
}
