// test-labels: threaded
// Banding of row workers over the host's thread pool.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "host/smp_pool.h"
#include "pixels/parallel_rows.h"

namespace {

using Bands = std::vector<std::pair<int, int>>;

struct Recorder {
    std::mutex lock;
    Bands bands;  // (first, last) by processor number
    std::vector<std::thread::id> threads;

    void rows(int first, int last)
    {
        std::lock_guard<std::mutex> guard(lock);
        bands[std::size_t(smp_id())] = {first, last};
        threads.push_back(std::this_thread::get_id());
    }
};

TEST(ParallelRows, OneBandPerProcessorWithTheRemainderOnTheLast)
{
    const struct {
        int procs, rows;
        Bands bands;
    } cases[] = {
        {4, 10, {{0, 1}, {2, 3}, {4, 5}, {6, 9}}},
        {7, 100, {{0, 13}, {14, 27}, {28, 41}, {42, 55}, {56, 69}, {70, 83}, {84, 99}}},
        {4, 3, {{0, 2}, {3, 2}, {3, 2}, {3, 2}}},  // fewer rows than processors
        {3, 0, {{0, -1}, {0, -1}, {0, -1}}},
        {1, 17, {{0, 16}}},
    };
    for (const auto& c : cases) {
        smp_set_numprocs(c.procs);
        Recorder r;
        r.bands.assign(std::size_t(c.procs), {-9, -9});
        vx::parallel_rows(c.rows, [&r](int first, int last) { r.rows(first, last); });
        EXPECT_EQ(r.bands, c.bands) << c.procs << " processors, " << c.rows << " rows";
        if (c.procs == 1) {  // one processor: one call on the calling thread
            EXPECT_EQ(r.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
        }
    }
    smp_set_numprocs(1);
}

}  // namespace
