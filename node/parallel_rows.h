// Runs a row worker (a member operation taking an inclusive first and last
// row) over all rows of a picture, one band of rows per processor, through the
// host's multiprocessing service.
#pragma once

namespace vx {

// One dispatch as the band function receives it.
struct RowJob {
    using Call = void (*)(void* object, const void* worker, int first_row, int last_row);
    void* object;
    const void* worker;  // the member operation, behind a pointer
    Call call;           // calls `worker` on `object`
    int row_count;
    int procs;
};

// The band function the multiprocessing service runs once on each processor:
// works out this processor's band of rows and runs the worker over it.
void parallel_rows_for(void* job);

// Runs the job: on the calling thread when there is one processor, otherwise
// as one band per processor.
void dispatch_rows(RowJob& job);

template <class T>
void parallel_rows(T* object, void (T::*worker)(int, int), int row_count)
{
    using Worker = void (T::*)(int, int);
    RowJob job{object, &worker,
               [](void* o, const void* w, int first, int last) {
                   (static_cast<T*>(o)->**static_cast<const Worker*>(w))(first, last);
               },
               row_count, 0};
    dispatch_rows(job);
}

}  // namespace vx
