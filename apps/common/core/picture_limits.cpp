#include "apps/common/core/picture_limits.h"

#include <algorithm>
#include <cstdio>

#include "host/platform_memory.h"

namespace trellin_app {

namespace {

std::string gigabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    return text;
}

}  // namespace

std::uint64_t usable_memory_bytes()
{
    return platform::usable_memory_bytes();
}

std::string picture_size_fault(long long width, long long height, std::uint64_t memory)
{
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) return size + " holds no pixels";
    if (width > max_picture_side || height > max_picture_side)
        return size + " is too large (at most " + std::to_string(max_picture_side) + " pixels on a side)";
    if (memory == 0) memory = usable_memory_bytes();
    const double needed = double(width) * double(height) * double(render_bytes_per_pixel);
    if (needed > double(memory))
        return size + " is too large for this machine (a frame needs about " + gigabytes(needed) + " of memory, " +
               gigabytes(double(memory)) + " can be had)";
    return {};
}

}  // namespace trellin_app
