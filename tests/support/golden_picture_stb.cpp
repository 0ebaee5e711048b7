// The golden pictures read with stb_image, for the Windows build, which has
// no OpenImageIO. Writing them anew is the Linux build's job.
#include <cstring>

#include "support/golden_picture.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_WINDOWS_UTF8
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace testkit {

std::vector<std::uint16_t> read_golden_picture(const std::string& path, int width, int height)
{
    int w = 0, h = 0, channels = 0;
    stbi_us* pixels = stbi_load_16(path.c_str(), &w, &h, &channels, 4);
    if (pixels == nullptr) return {};
    std::vector<std::uint16_t> samples;
    if (w == width && h == height) samples.assign(pixels, pixels + std::size_t(w) * std::size_t(h) * 4);
    stbi_image_free(pixels);
    return samples;
}

bool write_golden_picture(const std::string&, const std::vector<std::uint16_t>&, int, int)
{
    return false;
}

}  // namespace testkit
