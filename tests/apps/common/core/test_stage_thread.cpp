// A stage's thread runs its tasks one after another in the order given, on
// one thread that is not the caller's, hands back what each threw, and runs
// what is still queued before it ends.
// test-labels: threaded
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "apps/common/core/stage_thread.h"

namespace {

using trellin_app::StageThread;

TEST(StageThread, RunsTasksInOrderOnOneThreadAndHandsBackWhatTheyThrow)
{
    std::vector<int> order;  // written only by the stage's thread
    std::vector<std::future<std::thread::id>> ran;
    std::future<int> failed;
    {
        StageThread stage;
        for (int i = 0; i < 20; ++i) {
            if (i == 7) failed = stage.run([]() -> int { throw std::runtime_error("task 7"); });
            ran.push_back(stage.run([&order, i] {
                // An early task that takes longer must not let a later one pass it.
                if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                order.push_back(i);
                return std::this_thread::get_id();
            }));
        }
        const std::thread::id first = ran.front().get();
        EXPECT_NE(first, std::this_thread::get_id());
        for (std::size_t i = 1; i < ran.size(); ++i) EXPECT_EQ(ran[i].get(), first) << i;
        EXPECT_THROW(failed.get(), std::runtime_error);
    }
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i) expected[std::size_t(i)] = i;
    EXPECT_EQ(order, expected);
}

TEST(StageThread, TasksStillQueuedRunBeforeItEnds)
{
    std::atomic<int> done{0};
    {
        StageThread stage;
        stage.run([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        for (int i = 0; i < 5; ++i) stage.run([&done] { ++done; });
    }
    EXPECT_EQ(done.load(), 5);
}

}  // namespace
