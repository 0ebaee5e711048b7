#include "apps/common/core/picture_limits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

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
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    std::uint64_t bytes = pages > 0 && page > 0 ? std::uint64_t(pages) * std::uint64_t(page) : UINT64_MAX;
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            bytes = std::min<std::uint64_t>(bytes, limit.rlim_cur);
    }
    return bytes;
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
