// The running process and the machine, as names of temporary files need them.
#pragma once

#include <string>

#include "contract/host_api.h"

namespace platform {

// The running process's identifier.
HOST_API long process_id();
// True when no process of identifier `pid` runs on this machine any more.
HOST_API bool process_ended(long pid);
// This machine's name ("" when the system does not say).
HOST_API std::string machine_name();

}  // namespace platform
