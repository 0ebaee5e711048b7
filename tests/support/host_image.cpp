#include "support/host_image.h"

namespace testkit {

HostImage::HostImage(int width, int height, int spp, std::uint8_t flags) : samples(std::size_t(width) * height * spp, 0)
{
    image.width = width;
    image.height = height;
    image.samples = spp;
    image.flags = flags;
    image.data = samples.data();
}

void fill_pattern(HostImage& image, unsigned seed)
{
    const int w = image.image.width, h = image.image.height, n = image.image.samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c) {
                unsigned v = (unsigned(x) * 2654435761u) ^ (unsigned(y) * 40503u) ^ (unsigned(c + 1) * 97u * seed);
                v = (v ^ (v >> 13)) * 0x5bd1e995u;
                image.at(x, y, c) = std::uint16_t((v >> 7) & 0xFFFF);
            }
}

}  // namespace testkit
