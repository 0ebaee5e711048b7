#include "pixels/frame_memory.h"

#include <atomic>
#include <cstdlib>

namespace vx {

namespace {
std::atomic<int> allocations_until_failure{-1};
}

void* frame_alloc(std::size_t bytes)
{
    int n = allocations_until_failure.load(std::memory_order_relaxed);
    while (n >= 0) {
        if (allocations_until_failure.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
            if (n == 0) return nullptr;
            break;
        }
    }
    return std::malloc(bytes ? bytes : 1);
}

void frame_free(void* block)
{
    std::free(block);
}

void fail_frame_alloc_after(int n)
{
    allocations_until_failure.store(n < 0 ? -1 : n, std::memory_order_relaxed);
}

}  // namespace vx
