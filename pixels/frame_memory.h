// Allocation of the per-frame storage (image records, float buffers, the
// source pyramid). It goes through one place so that running out of memory
// can be handled and tested: a test can make a chosen allocation fail.
#pragma once

#include <cstddef>

namespace vx {

// Like malloc; null when memory cannot be had.
void* frame_alloc(std::size_t bytes);
void frame_free(void* block);

// Makes the allocation `n` calls from now fail (0: the next one); a negative
// `n` switches failures off. For tests.
void fail_frame_alloc_after(int n);

}  // namespace vx
