// test-labels: threaded
// Banding of row workers over the host's thread pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "host/smp_pool.h"
#include "node/parallel_rows.h"

namespace {

struct Recorder {
    std::mutex lock;
    std::vector<std::pair<int, int>> calls;  // (first, last) in processor order
    std::vector<int> ids;

    void rows(int first, int last)
    {
        std::lock_guard<std::mutex> guard(lock);
        calls.emplace_back(first, last);
        ids.push_back(smp_id());
    }

    std::vector<std::pair<int, int>> bands_by_processor()
    {
        std::vector<std::pair<int, int>> out(calls.size());
        for (std::size_t i = 0; i < calls.size(); ++i)
            out[std::size_t(ids[i])] = calls[i];
        return out;
    }
};

using Bands = std::vector<std::pair<int, int>>;

Bands run(int procs, int rows)
{
    smp_set_numprocs(procs);
    Recorder r;
    vx::parallel_rows(&r, &Recorder::rows, rows);
    smp_set_numprocs(1);
    return r.bands_by_processor();
}

TEST(ParallelRows, SplitsIntoOneBandPerProcessorWithTheRemainderOnTheLast)
{
    EXPECT_EQ(run(4, 10), (Bands{{0, 1}, {2, 3}, {4, 5}, {6, 9}}));
    EXPECT_EQ(run(2, 1080), (Bands{{0, 539}, {540, 1079}}));
    EXPECT_EQ(run(7, 100), (Bands{{0, 13}, {14, 27}, {28, 41}, {42, 55}, {56, 69}, {70, 83}, {84, 99}}));
}

TEST(ParallelRows, FewerRowsThanProcessorsGoAllToTheFirst)
{
    EXPECT_EQ(run(4, 3), (Bands{{0, 2}, {3, 2}, {3, 2}, {3, 2}}));
    EXPECT_EQ(run(3, 0), (Bands{{0, -1}, {0, -1}, {0, -1}}));
}

TEST(ParallelRows, OneProcessorRunsOnTheCallingThreadInOneCall)
{
    smp_set_numprocs(1);
    Recorder r;
    vx::parallel_rows(&r, &Recorder::rows, 17);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0], std::make_pair(0, 16));
}

TEST(ParallelRows, EveryRowIsProcessedExactlyOnce)
{
    for (int procs : {2, 3, 7}) {
        for (int rows : {1, 2, 6, 7, 8, 99}) {
            smp_set_numprocs(procs);
            std::vector<int> seen(std::size_t(rows), 0);
            struct Marker {
                std::vector<int>* seen;
                void rows(int first, int last)
                {
                    for (int y = first; y <= last; ++y)
                        ++(*seen)[std::size_t(y)];
                }
            } marker{&seen};
            vx::parallel_rows(&marker, &Marker::rows, rows);
            EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }))
                << procs << " processors, " << rows << " rows";
        }
    }
    smp_set_numprocs(1);
}

}  // namespace
