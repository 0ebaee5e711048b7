// A thread of a filter's own that renders one frame at a time, so that OBS's
// graphics thread never waits for the node: the graphics thread hands a job
// over when the thread is idle and goes on; when it is still busy with the
// last one, the caller decides what to do instead (show the last result,
// drop the frame).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace trellin_obs {

class FrameWorker {
public:
    FrameWorker();
    // Waits for the job in progress, then ends the thread.
    ~FrameWorker();
    FrameWorker(const FrameWorker&) = delete;
    FrameWorker& operator=(const FrameWorker&) = delete;

    // Starts `job` on the thread when it is idle; false, and `job` is not
    // run, when a job is still in progress.
    bool try_start(std::function<void()> job);
    bool idle() const;
    // Returns once no job is in progress.
    void wait_idle();

private:
    void run();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::function<void()> job_;  // under lock_: set while a job waits or runs
    bool stop_ = false;          // under lock_
    std::thread thread_;
};

}  // namespace trellin_obs
