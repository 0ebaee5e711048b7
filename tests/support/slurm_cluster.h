// A one-node Slurm cluster for tests, on loopback only, in a fresh temporary
// folder (slurm.conf, state, spool, logs, munge key and socket). munged,
// slurmctld and slurmd run in the foreground as children of this process and
// are ended by their own process ids when the cluster goes (or by the kernel
// when this process dies first). Clients find the cluster through env().
#pragma once

#include <string>
#include <vector>

#include "support/subprocess.h"

namespace testkit {

class SlurmCluster {
public:
    // Empty when the daemons and clients are installed, else what is missing.
    static std::string missing_programs();

    // Starts the cluster and waits until the node is idle; throws
    // std::runtime_error (with the daemons' log tails) after `deadline_s`.
    explicit SlurmCluster(double deadline_s = 30);
    ~SlurmCluster();
    SlurmCluster(const SlurmCluster&) = delete;
    SlurmCluster& operator=(const SlurmCluster&) = delete;

    // {"SLURM_CONF=..."}: the environment clients need.
    std::vector<std::string> env() const { return {"SLURM_CONF=" + dir_ + "/slurm.conf"}; }
    // Runs a Slurm client program ("sinfo", "scontrol", ...) against this cluster.
    ProgramResult client(std::vector<std::string> argv, double timeout_s = 10) const;
    // The last lines of each daemon's log, for failure messages.
    std::string log_tails() const;

private:
    void start(double deadline_s);
    void stop();

    std::string dir_;
    std::vector<Process> daemons_;  // in start order; ended in reverse
};

}  // namespace testkit
