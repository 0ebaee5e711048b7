// How every program of the project ends a run: its exit codes, and the one
// line of message that goes with a failure.
#pragma once

#include <string>

namespace trellin_app {

// Exit codes: 0 done; 1 the effect refused a frame or an output could not be
// written; 2 a usage or input error.
constexpr int exit_done = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// A run that stops with one line of message and an exit code. The program's
// main prints "PROGRAM: error: MESSAGE" and exits with the code.
struct Failure {
    int code;
    std::string message;
};

}  // namespace trellin_app
