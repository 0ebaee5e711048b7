#include "support/golden_picture.h"

#include <OpenImageIO/imageio.h>

namespace testkit {

std::vector<std::uint16_t> read_golden_picture(const std::string& path, int width, int height)
{
    // The samples as stored: alpha is not multiplied into the colour.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in) return {};
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width != width || spec.height != height || spec.nchannels != 4) return {};
    std::vector<std::uint16_t> samples(std::size_t(width) * height * 4);
    if (!in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, samples.data())) return {};
    return samples;
}

bool write_golden_picture(const std::string& path, const std::vector<std::uint16_t>& samples, int width, int height)
{
    auto out = OIIO::ImageOutput::create(path);
    if (!out) return false;
    OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::UINT16);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    return out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT16, samples.data()) && out->close();
}

}  // namespace testkit
