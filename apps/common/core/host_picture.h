// A picture in the form the host hands to a node: 16-bit samples at full
// range (0..65535), 3 (colour) or 4 (colour and alpha) per pixel, rows top
// first and packed one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "contract/host_api.h"

namespace trellin_app {

struct PictureAttributes;  // picture_attributes.h

struct HostPicture {
    HostPicture() = default;
    // A picture of the given size with every sample 0.
    HostPicture(int width, int height, int samples);

    int width = 0;
    int height = 0;
    int samples = 4;
    // Pixel aspect ratio (width of a pixel over its height).
    double pixel_aspect = 1.0;
    // Metadata read with the picture, written again with it (and with every
    // copy of it); null when there is none.
    std::shared_ptr<const PictureAttributes> attributes;
    std::vector<std::uint16_t> data;

    std::uint16_t& at(int x, int y, int c)
    {
        return data[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(samples) + std::size_t(c)];
    }
    std::uint16_t at(int x, int y, int c) const
    {
        return data[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(samples) + std::size_t(c)];
    }

    // A host image record over this picture's samples (top row first). It
    // stays valid while the picture lives and its samples are not resized.
    _image_str host_image();
};

}  // namespace trellin_app
