// Host-side control of the multiprocessing service.
#pragma once

#include "node/host_api.h"

// Sets the number of processors `smp_exec` uses from now on (at least 1).
// Must not be called while an `smp_exec` is running. Without a call the count
// is TRELLIN_THREADS when set, else the hardware's.
HOST_API void smp_set_numprocs(int n);
