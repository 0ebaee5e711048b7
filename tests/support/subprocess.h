// Running outside programs from tests: output captured, a deadline on every
// run, and the child ended by its own process id when it overstays.
#pragma once

#include <string>
#include <vector>

namespace testkit {

struct ProgramResult {
    int code = -1;           // exit status; -signal when a signal ended it
    bool timed_out = false;  // killed at the deadline
    std::string out, err;
};

// Runs `argv` (argv[0] looked up in PATH) with the caller's environment plus
// `env` ("NAME=VALUE" entries, overriding), its standard input empty. Waits at
// most `timeout_s` seconds, then kills the child.
ProgramResult run_program(const std::vector<std::string>& argv, double timeout_s = 60,
                          const std::vector<std::string>& env = {});

// The environment of this process with `extra` added ("NAME=VALUE"; an entry
// replaces one of the same name).
std::vector<std::string> environment_with(const std::vector<std::string>& extra);

}  // namespace testkit
