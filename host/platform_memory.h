// How much memory the process may use.
#pragma once

#include <cstdint>

#include "contract/host_api.h"

namespace platform {

// The machine's physical memory, lowered to the process's own limits where
// the system sets them; UINT64_MAX when it cannot say.
HOST_API std::uint64_t usable_memory_bytes();

}  // namespace platform
