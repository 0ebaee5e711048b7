#include "pixels/parallel_rows.h"

#include "contract/host_api.h"

namespace vx {

void parallel_rows_for(void* arg)
{
    const RowJob& job = *static_cast<const RowJob*>(arg);
    const int n = job.procs;
    // The band size is a single-precision quotient, truncated.
    const int band = static_cast<int>(static_cast<float>(job.row_count) / static_cast<float>(n));
    const int k = smp_id();
    int first = 0;
    int end = job.row_count;
    if (band > 0) {
        first = k * band;
        end = first + band;
        if (end > job.row_count || k == n - 1) end = job.row_count;
    } else {
        // Fewer rows than processors: processor 0 takes them all.
        first = k == 0 ? 0 : job.row_count;
    }
    job.call(job.worker, first, end - 1);
}

void dispatch_rows(RowJob& job)
{
    const int n = smp_numprocs();
    if (n < 2) {
        job.call(job.worker, 0, job.row_count - 1);
        return;
    }
    job.procs = n;
    smp_exec(parallel_rows_for, &job);
}

}  // namespace vx
