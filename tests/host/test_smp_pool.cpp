// test-labels: threaded
// The multiprocessing service: every processor number exactly once per
// call, concurrent and nested callers, many calls on the same threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/smp_pool.h"

namespace {

struct Tally {
    std::vector<std::atomic<int>> calls;
    std::mutex lock;
    std::set<std::thread::id> threads;
    explicit Tally(int n) : calls(static_cast<std::size_t>(n)) {}
    bool once_each() const
    {
        return std::all_of(calls.begin(), calls.end(), [](auto& k) { return k.load() == 1; });
    }
};

void count_call(void* arg)
{
    auto& t = *static_cast<Tally*>(arg);
    const int id = smp_id();
    ASSERT_TRUE(id >= 0 && id < static_cast<int>(t.calls.size())) << id;
    t.calls[static_cast<std::size_t>(id)].fetch_add(1);
    std::lock_guard<std::mutex> hold(t.lock);
    t.threads.insert(std::this_thread::get_id());
}

class SmpPool : public ::testing::Test {
protected:
    void TearDown() override { smp_set_numprocs(2); }
};

TEST_F(SmpPool, EveryIdExactlyOncePerCall)
{
    for (int n : {1, 2, 7}) {
        smp_set_numprocs(n);
        ASSERT_EQ(smp_numprocs(), n);
        Tally t(n);
        smp_exec(count_call, &t);
        EXPECT_TRUE(t.once_each()) << n;
    }
    EXPECT_EQ(smp_id(), 0);  // outside a call
    smp_set_numprocs(0);
    EXPECT_EQ(smp_numprocs(), 1);
}

TEST_F(SmpPool, ConcurrentCallersEachGetTheirOwnIdsOnReusedThreads)
{
    smp_set_numprocs(3);
    std::vector<std::thread> callers;
    std::atomic<int> faults{0};
    for (int c = 0; c < 4; ++c)
        callers.emplace_back([&faults] {
            for (int round = 0; round < 200; ++round) {
                Tally t(3);
                smp_exec(count_call, &t);
                if (!t.once_each()) faults.fetch_add(1);
            }
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(faults.load(), 0);

    smp_set_numprocs(2);
    Tally t(2);
    for (int i = 0; i < 5000; ++i) smp_exec(count_call, &t);
    EXPECT_EQ(t.calls[1].load(), 5000);
    EXPECT_LE(t.threads.size(), 2u + 6u) << "no thread per call";
}

// Each thread's own count holds for its calls only, while other threads call
// with theirs or with the process-wide count.
TEST_F(SmpPool, ThreadCountsAreTheirOwn)
{
    smp_set_numprocs(2);
    std::atomic<int> faults{0};
    std::vector<std::thread> callers;
    for (int own : {1, 3, 5, 0})
        callers.emplace_back([own, &faults] {
            smp_set_thread_numprocs(own);
            const int n = own > 0 ? own : 2;
            for (int round = 0; round < 200; ++round) {
                Tally t(n);
                if (smp_numprocs() != n) faults.fetch_add(1);
                smp_exec(count_call, &t);
                if (!t.once_each()) faults.fetch_add(1);
            }
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(smp_numprocs(), 2);
    smp_set_thread_numprocs(4);
    EXPECT_EQ(smp_numprocs(), 4);
    smp_set_thread_numprocs(0);
    EXPECT_EQ(smp_numprocs(), 2);
}

// A nested call runs all its ids inline on the calling thread and restores
// the outer id afterwards.
void outer_call(void* arg)
{
    auto& faults = *static_cast<std::atomic<int>*>(arg);
    const int outer = smp_id();
    Tally t(smp_numprocs());
    smp_exec(count_call, &t);
    if (!t.once_each() || t.threads != std::set<std::thread::id>{std::this_thread::get_id()} || smp_id() != outer)
        faults.fetch_add(1);
}

void throwing_call(void*)
{
    if (smp_id() == 1) throw std::runtime_error("band failed");
}

TEST_F(SmpPool, NestedCallsRunInlineAndExceptionsReachTheCaller)
{
    smp_set_numprocs(3);
    std::atomic<int> faults{0};
    smp_exec(outer_call, &faults);
    EXPECT_EQ(faults.load(), 0);

    EXPECT_THROW(smp_exec(throwing_call, nullptr), std::runtime_error);
    Tally t(3);
    smp_exec(count_call, &t);  // the pool still works
    EXPECT_TRUE(t.once_each());
}

}  // namespace
