// Test pictures: host images that own their samples, and small pattern makers.
#pragma once

#include <cstdint>
#include <vector>

#include "contract/host_api.h"

namespace testkit {

// A host image with its own sample storage.
struct HostImage {
    HostImage(int width, int height, int samples = 4, std::uint8_t flags = 0);
    HostImage(const HostImage&) = delete;
    HostImage& operator=(const HostImage&) = delete;

    std::vector<std::uint16_t> samples;
    _image_str image;

    std::uint16_t& at(int x, int y, int c) { return samples[(std::size_t(y) * image.width + x) * image.samples + c]; }
    _image_str* get() { return &image; }
};

// Fills the image with a smooth, deterministic pattern that differs in every
// channel (and covers the whole 16-bit range).
void fill_pattern(HostImage& image, unsigned seed = 1);

}  // namespace testkit
