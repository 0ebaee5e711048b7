#include "apps/common/core/host_picture.h"

namespace trellin_app {

HostPicture::HostPicture(int width_, int height_, int samples_)
    : width(width_),
      height(height_),
      samples(samples_),
      data(std::size_t(width_) * std::size_t(height_) * std::size_t(samples_), 0)
{
}

_image_str HostPicture::host_image()
{
    _image_str image;
    image.width = width;
    image.height = height;
    image.samples = samples;
    image.flags = 0;
    image.data = data.data();
    return image;
}

}  // namespace trellin_app
