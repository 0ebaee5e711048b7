// Host-side control of the multiprocessing service.
#pragma once

#include "contract/host_api.h"

// Sets the number of processors `smp_exec` uses from now on (at least 1).
// Must not be called while an `smp_exec` is running. Without a call the count
// is TRELLIN_THREADS when set, else the hardware's.
HOST_API void smp_set_numprocs(int n);

// Sets the number of processors `smp_exec` uses for calls made from the
// calling thread only (at least 1; at most what smp_set_numprocs allows);
// 0 returns the thread to the process-wide count. Threads that render
// side by side can each pick their own count this way without touching the
// count another thread is rendering with.
HOST_API void smp_set_thread_numprocs(int n);
