// Running Slurm's client programs (sbatch, squeue) as processes: arguments
// passed as they are (no shell), output captured, and a deadline after which
// the program is killed by its process id.
#pragma once

#include <string>
#include <vector>

namespace trellin_cli {

struct ProcessResult {
    int code = -1;           // exit status; 128 + signal when a signal ended it
    bool timed_out = false;  // killed at the deadline
    std::string out, err;
};

// The full path of `name` found in PATH, or "" (a name with a '/' is
// returned as it is when it can be run).
std::string find_program(const std::string& name);

// Runs `argv` (argv[0] a path or a name looked up in PATH) with standard
// input empty and waits at most `timeout_s` seconds. Throws std::runtime_error
// when the program cannot be started.
ProcessResult run_process(const std::vector<std::string>& argv, double timeout_s);

}  // namespace trellin_cli
