// A thread of its own for one stage of a run (reading frames, writing them):
// it runs what it is given one task after another, in the order given, and
// hands each result (or what it threw) back through a future. A run starts
// its stages' threads once, rather than a thread for every frame.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

namespace trellin_app {

class StageThread {
public:
    StageThread() : thread_([this] { serve(); }) {}

    // Runs the tasks still given, then ends the thread.
    ~StageThread()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    StageThread(const StageThread&) = delete;
    StageThread& operator=(const StageThread&) = delete;

    // Queues `task`; its result, or what it throws, comes through the future.
    template <class Task>
    std::future<std::invoke_result_t<Task&>> run(Task task)
    {
        auto packaged = std::make_shared<std::packaged_task<std::invoke_result_t<Task&>()>>(std::move(task));
        auto result = packaged->get_future();
        {
            std::lock_guard<std::mutex> hold(lock_);
            tasks_.emplace_back([packaged] { (*packaged)(); });
        }
        wake_.notify_one();
        return result;
    }

private:
    void serve()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> hold(lock_);
                wake_.wait(hold, [this] { return stopping_ || !tasks_.empty(); });
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace trellin_app
