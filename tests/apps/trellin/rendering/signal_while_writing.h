// Stopping a trellin run in the middle of writing an output: trellin writes
// each output "out.*" first as a temporary file ".out.*" named with its
// process id, so a signal sent the moment one of those shows lands while a
// file is being written.
#pragma once

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/subprocess.h"

namespace trellin_test {

// Sends `signal_number` to `running` once a temporary output of its own shows
// in `dir`; false when the run ended, or `seconds` passed, first.
inline bool signal_while_writing(testkit::Process& running, const std::filesystem::path& dir, int signal_number,
                                 int seconds = 120)
{
    const std::string own = "-" + std::to_string(running.pid()) + ".";
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (running.running() && std::chrono::steady_clock::now() < give_up)
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            const std::string name = e.path().filename();
            if (name.rfind(".out.", 0) == 0 && name.find(own) != std::string::npos)
                return kill(running.pid(), signal_number) == 0;
        }
    return false;
}

}  // namespace trellin_test
