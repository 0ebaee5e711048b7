// Runs of one program started by a server that has loaded its libraries
// once (trellin_server/), instead of by exec: a run of trellin that reads
// pictures spends most of its start loading OpenImageIO's libraries, and the
// command-line tests start trellin hundreds of times.
//
// The server forks twice per run, so that the run is reparented to this
// process (a child subreaper): it is then this process's own child, which
// Process waits for and signals as it would a program it executed. The run
// sets its arguments, environment, folder, descriptors and file size limit as
// the request says, and runs the program's main.
//
// Runs that must be a fresh program (the loader's own behaviour in LD_*
// variables, sanitizer options, a memory limit, descriptor 3, commands that
// use the program's own file) are not sent to the server: RunServer::takes
// says which. A run through the server ends without the static destructors
// (trellin_server/main.cpp says why); the runs executed keep exercising them,
// and so do the sanitizer builds, which have no server and execute every run.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <vector>

namespace testkit {

struct RunOptions;

class RunServer {
public:
    // The server program at `path` (started at the first run), for runs of
    // `program` (argv[0] of the runs it takes) but those whose argv[1] is one
    // of `executed` (commands that need the program's own file: they write
    // its path into scripts, say).
    RunServer(std::string path, std::string program, std::vector<std::string> executed = {});
    ~RunServer();
    RunServer(const RunServer&) = delete;
    RunServer& operator=(const RunServer&) = delete;

    // True when a run of `argv` with `options` and descriptor 3 `fd3` may
    // be started by the server.
    bool takes(const std::vector<std::string>& argv, const RunOptions& options, int fd3) const;

    // Starts a run: `argv` and `env` as given, in `cwd` (empty: this
    // process's), with descriptors 0, 1 and 2 and a file size limit (0:
    // none). Returns its process id (a child of this process), or -1 when the
    // server could not start it.
    pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
                const int fds[3], long long file_size_limit);

private:
    bool launch();

    std::string path_;
    std::string program_;
    std::vector<std::string> executed_;
    std::mutex lock_;
    int socket_ = -1;
    pid_t server_ = -1;
    bool failed_ = false;
};

}  // namespace testkit
