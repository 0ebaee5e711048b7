#include "apps/obs/frame_worker.h"

#include <utility>

namespace trellin_obs {

FrameWorker::FrameWorker() : thread_([this] { run(); }) {}

FrameWorker::~FrameWorker()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool FrameWorker::try_start(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (job_ || stop_) return false;
        job_ = std::move(job);
    }
    wake_.notify_all();
    return true;
}

bool FrameWorker::idle() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return !job_;
}

void FrameWorker::wait_idle()
{
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait(hold, [this] { return !job_; });
}

void FrameWorker::run()
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || job_; });
        // A job handed over before the stop still runs: its frame is held
        // and must come back whole.
        if (!job_) return;
        // job_ stays set, and so untouched by try_start, while it runs.
        hold.unlock();
        try {
            job_();
        } catch (...) {
            // A job reports its own failures; one that throws ends here
            // rather than ending the program.
        }
        hold.lock();
        job_ = nullptr;
        wake_.notify_all();
    }
}

}  // namespace trellin_obs
