// test-labels: threaded
// The multiprocessing service: every processor number exactly once per
// call, concurrent and nested callers, and many calls on the same threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "host/smp_pool.h"

namespace {

struct Tally {
    std::vector<std::atomic<int>> calls;
    std::mutex lock;
    std::set<std::thread::id> threads;
    explicit Tally(int n) : calls(static_cast<std::size_t>(n)) {}
};

void count_call(void* arg)
{
    auto& t = *static_cast<Tally*>(arg);
    const int id = smp_id();
    ASSERT_GE(id, 0);
    ASSERT_LT(id, static_cast<int>(t.calls.size()));
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
    for (int n : {1, 2, 3, 7}) {
        smp_set_numprocs(n);
        ASSERT_EQ(smp_numprocs(), n);
        Tally t(n);
        smp_exec(count_call, &t);
        for (int id = 0; id < n; ++id) EXPECT_EQ(t.calls[static_cast<std::size_t>(id)].load(), 1) << n << " " << id;
    }
    EXPECT_EQ(smp_id(), 0);  // outside a call
    smp_set_numprocs(0);
    EXPECT_EQ(smp_numprocs(), 1);
}

struct Meeting {
    int expected;
    std::atomic<int> arrived{0};
    std::atomic<int> met{0};
};

// Every call waits (for a bounded time) until all calls of the job have
// started: this only succeeds when they truly run at the same time.
void meet_call(void* arg)
{
    auto& m = *static_cast<Meeting*>(arg);
    m.arrived.fetch_add(1);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m.arrived.load() < m.expected && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
    if (m.arrived.load() == m.expected) m.met.fetch_add(1);
}

TEST_F(SmpPool, CallsRunConcurrently)
{
    for (int n : {2, 3, 7}) {
        smp_set_numprocs(n);
        Meeting m{n};
        smp_exec(meet_call, &m);
        EXPECT_EQ(m.met.load(), n) << n;
    }
}

TEST_F(SmpPool, ConcurrentCallersEachGetTheirOwnIds)
{
    smp_set_numprocs(3);
    std::vector<std::thread> callers;
    std::atomic<int> faults{0};
    for (int c = 0; c < 4; ++c) {
        callers.emplace_back([&faults] {
            for (int round = 0; round < 200; ++round) {
                Tally t(3);
                smp_exec(count_call, &t);
                for (auto& k : t.calls)
                    if (k.load() != 1) faults.fetch_add(1);
            }
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(faults.load(), 0);
}

struct Nested {
    std::atomic<int> inner_calls{0};
    std::atomic<int> faults{0};
};

void inner_call(void* arg)
{
    static_cast<Nested*>(arg)->inner_calls.fetch_add(1);
}

void outer_call(void* arg)
{
    auto& n = *static_cast<Nested*>(arg);
    const int outer = smp_id();
    Tally t(smp_numprocs());
    smp_exec(count_call, &t);
    for (auto& k : t.calls)
        if (k.load() != 1) n.faults.fetch_add(1);
    if (t.threads.size() != 1 || *t.threads.begin() != std::this_thread::get_id()) n.faults.fetch_add(1);
    if (smp_id() != outer) n.faults.fetch_add(1);  // restored after the nested job
    smp_exec(inner_call, arg);
}

TEST_F(SmpPool, NestedCallsRunInlineWithTheirIds)
{
    smp_set_numprocs(3);
    Nested n;
    smp_exec(outer_call, &n);
    EXPECT_EQ(n.faults.load(), 0);
    EXPECT_EQ(n.inner_calls.load(), 9);
}

TEST_F(SmpPool, ManyCallsReuseThePoolThreads)
{
    smp_set_numprocs(2);
    Tally t(2);
    for (int i = 0; i < 5000; ++i) smp_exec(count_call, &t);
    EXPECT_EQ(t.calls[0].load(), 5000);
    EXPECT_EQ(t.calls[1].load(), 5000);
    EXPECT_LE(t.threads.size(), 2u + 6u) << "no thread per call";
}

void throwing_call(void*)
{
    if (smp_id() == 1) throw std::runtime_error("band failed");
}

TEST_F(SmpPool, AnExceptionReachesTheCaller)
{
    smp_set_numprocs(3);
    EXPECT_THROW(smp_exec(throwing_call, nullptr), std::runtime_error);
    Tally t(3);
    smp_exec(count_call, &t);  // the pool still works
    EXPECT_EQ(t.calls[2].load(), 1);
}

}  // namespace
