// Runs a row worker (any callable taking an inclusive first and last row)
// over all rows of a picture, one band of rows per processor, through the
// host's multiprocessing service.
#pragma once

#include <type_traits>

namespace vx {

// One dispatch as the band function receives it.
struct RowJob {
    using Call = void (*)(const void* worker, int first_row, int last_row);
    const void* worker;  // the callable, behind a pointer
    Call call;           // calls `worker`
    int row_count;
    int procs;
};

// The band function the multiprocessing service runs once on each processor:
// works out this processor's band of rows and runs the worker over it.
void parallel_rows_for(void* job);

// Runs the job: on the calling thread when there is one processor, otherwise
// as one band per processor.
void dispatch_rows(RowJob& job);

// Calls worker(first_row, last_row) once per band; returns when every band is
// done. The worker is called concurrently from several threads.
template <class Worker>
void parallel_rows(int row_count, const Worker& worker)
{
    RowJob job{&worker, [](const void* w, int first, int last) { (*static_cast<const Worker*>(w))(first, last); },
               row_count, 0};
    dispatch_rows(job);
}

}  // namespace vx
