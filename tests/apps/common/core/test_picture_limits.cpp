// How large a picture the programs take: the side limit, and the memory a frame needs
// against the memory there is.
// test-links: trellin_app_core
#include <gtest/gtest.h>

#include "apps/common/core/picture_limits.h"

namespace {

using trellin_app::picture_size_fault;

TEST(PictureLimits, SidesAndMemory)
{
    constexpr std::uint64_t gb = 1000000000;
    EXPECT_EQ(picture_size_fault(16384, 16384, 100 * gb), "");
    EXPECT_EQ(picture_size_fault(16385, 4, 100 * gb), "16385x4 is too large (at most 16384 pixels on a side)");
    EXPECT_EQ(picture_size_fault(4, 23000, 100 * gb), "4x23000 is too large (at most 16384 pixels on a side)");
    EXPECT_EQ(picture_size_fault(0, 4, 100 * gb), "0x4 holds no pixels");
    // 10000 x 10000 pixels need about 10 GB.
    EXPECT_EQ(picture_size_fault(10000, 10000, 11 * gb), "");
    EXPECT_EQ(picture_size_fault(10000, 10000, 8 * gb),
              "10000x10000 is too large for this machine (a frame needs about 10.0 GB of memory, 8.0 GB can be had)");
    EXPECT_GT(trellin_app::usable_memory_bytes(), 0u);
}

}  // namespace
