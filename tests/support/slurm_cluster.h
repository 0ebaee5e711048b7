// A one-node Slurm cluster for tests, on loopback only.
//
// Everything lives in a fresh temporary folder: slurm.conf, state, spool, logs,
// the munge key and socket. The constructor starts munged, slurmctld and
// slurmd (each in the foreground, as children of this process) on ports of
// their own and waits, with a deadline, until the node is idle. The daemons
// are ended by their own process ids: by the destructor, by stop(), at
// process exit, on a fatal signal, and, should this process die without any
// of these, by the kernel (each daemon asks for SIGTERM when its parent dies).
//
// Slurm's client programs find the cluster through SLURM_CONF: pass env()
// to programs that run them.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "support/subprocess.h"

namespace testkit {

class SlurmCluster {
public:
    // Empty when the daemons and clients are installed, else what is missing.
    static std::string missing_programs();

    // Starts the cluster. Throws std::runtime_error (with the daemons' log
    // tails) when it is not up within `deadline_s` seconds; whatever had
    // started is stopped first.
    explicit SlurmCluster(double deadline_s = 30);
    ~SlurmCluster();
    SlurmCluster(const SlurmCluster&) = delete;
    SlurmCluster& operator=(const SlurmCluster&) = delete;

    // Cancels what is still queued, ends the daemons and removes the folder.
    // Safe to call twice.
    void stop();

    const std::string& folder() const { return dir_; }
    std::string conf_path() const { return dir_ + "/slurm.conf"; }
    // The partition every job lands in by default.
    static constexpr const char* partition = "trellin";
    // {"SLURM_CONF=..."}: the environment clients need.
    std::vector<std::string> env() const;

    // Runs a Slurm client program ("sinfo", "squeue", ...) against this cluster.
    ProgramResult client(std::vector<std::string> argv, double timeout_s = 10) const;

    // The last lines of each daemon's log, for failure messages.
    std::string log_tails() const;

private:
    void start(double deadline_s);
    pid_t spawn_daemon(const std::vector<std::string>& argv, const std::string& log_name);
    void end_daemons();

    std::string dir_;
    std::vector<pid_t> daemons_;  // in start order; ended in reverse
    bool wrap_hostname_ = false;  // run daemons with the host name localhost
};

}  // namespace testkit
