// The multiprocessing service: `smp_exec` runs a function once for every
// processor number on a pool of threads that is started once and reused.
//
// The calling thread runs number 0 itself; numbers 1 .. n-1 go to a shared
// queue served by the pool's workers, and the caller waits for its own job's
// completion count. Several threads may call `smp_exec` at once: their tasks
// share the queue and each caller waits only for its own. A call made from
// inside a running `smp_exec` function runs its numbers in sequence on the
// calling thread, so nested use cannot wait on workers that are busy with the
// outer job.
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "host/smp_pool.h"

namespace {

// More processors than this would only add threads that wait for a core.
constexpr int max_processors = 256;

thread_local int t_id = 0;
thread_local bool t_in_call = false;
// The calling thread's own processor count; 0: the process-wide one.
thread_local int t_processors = 0;

int processors_from_environment()
{
    if (const char* env = std::getenv("TRELLIN_THREADS")) {
        char* end = nullptr;
        long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n > 0) return n > max_processors ? max_processors : static_cast<int>(n);
    }
    unsigned hw = std::thread::hardware_concurrency();
    if (hw == 0) return 1;
    return hw > static_cast<unsigned>(max_processors) ? max_processors : static_cast<int>(hw);
}

std::atomic<int>& processor_count()
{
    static std::atomic<int> count{processors_from_environment()};
    return count;
}

struct Job {
    smp_func fn = nullptr;
    void* arg = nullptr;
    std::mutex lock;
    std::condition_variable done;
    int remaining = 0;
    std::exception_ptr error;
};

// Runs one processor's call of a job and counts it off.
void run_call(Job& job, int id)
{
    const int outer_id = t_id;
    const bool outer_in_call = t_in_call;
    t_id = id;
    t_in_call = true;
    std::exception_ptr error;
    try {
        job.fn(job.arg);
    } catch (...) {
        error = std::current_exception();
    }
    t_id = outer_id;
    t_in_call = outer_in_call;

    std::lock_guard<std::mutex> hold(job.lock);
    if (error && !job.error) job.error = error;
    if (--job.remaining == 0) job.done.notify_all();
}

class Pool {
public:
    // Queues the calls 1 .. n-1 of `job`. False when the pool has shut down.
    bool submit(Job& job, int n)
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stopping_) return false;
            while (static_cast<int>(workers_.size()) < n - 1) workers_.emplace_back([this] { serve(); });
            for (int id = 1; id < n; ++id) queue_.push_back(Task{&job, id});
        }
        if (n > 2)
            wake_.notify_all();
        else
            wake_.notify_one();
        return true;
    }

    // Lets the workers finish what is queued, then joins them.
    void shut_down()
    {
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
            workers.swap(workers_);
        }
        wake_.notify_all();
        for (auto& w : workers) w.join();
    }

private:
    struct Task {
        Job* job;
        int id;
    };

    void serve()
    {
        for (;;) {
            Task task{nullptr, 0};
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;  // stopping, nothing left
                task = queue_.front();
                queue_.pop_front();
            }
            run_call(*task.job, task.id);
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

// The pool itself is never destroyed, so a late `smp_exec` during static
// destruction finds it (and runs in sequence); its threads are joined when
// the library's statics are torn down.
Pool& pool()
{
    static Pool* p = new Pool;
    return *p;
}

struct PoolCloser {
    PoolCloser() { pool(); }
    ~PoolCloser() { pool().shut_down(); }
} pool_closer;

}  // namespace

int smp_numprocs()
{
    if (t_processors > 0) return t_processors;
    return processor_count().load(std::memory_order_relaxed);
}

void smp_set_numprocs(int n)
{
    if (n < 1) n = 1;
    if (n > max_processors) n = max_processors;
    processor_count().store(n, std::memory_order_relaxed);
}

void smp_set_thread_numprocs(int n)
{
    if (n < 0) n = 0;
    if (n > max_processors) n = max_processors;
    t_processors = n;
}

int smp_id()
{
    return t_id;
}

void smp_exec(smp_func fn, void* arg)
{
    if (fn == nullptr) return;
    const int n = smp_numprocs();

    Job job;
    job.fn = fn;
    job.arg = arg;
    job.remaining = n;

    if (n > 1 && !t_in_call && pool().submit(job, n)) {
        run_call(job, 0);
        std::unique_lock<std::mutex> hold(job.lock);
        job.done.wait(hold, [&job] { return job.remaining == 0; });
    } else {
        for (int id = 0; id < n; ++id) run_call(job, id);
    }
    if (job.error) std::rethrow_exception(job.error);
}
