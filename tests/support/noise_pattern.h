// A fixed pseudo-random 16-bit sample for each position and channel, for test
// pictures whose every neighbour differs.
#pragma once

#include <cstdint>

inline std::uint16_t noise(int x, int y, int c)
{
    return std::uint16_t((std::uint32_t(x * 7919 + y * 3571 + c * 1231) * 2654435761u) >> 17);
}
