// Where two pictures differ: the count of differing samples, the first and
// the largest difference with their pixel and channel, so that a failing
// comparison of renders says where, not only that a checksum changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// "" when `actual` equals `expected` (interleaved samples, `channels` per
// pixel, `width` pixels per row); otherwise a description of the difference.
std::string picture_difference(const std::vector<std::uint16_t>& expected, const std::vector<std::uint16_t>& actual,
                               int width, int channels = 4);

}  // namespace testkit
