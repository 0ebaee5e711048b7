// Conversion between the host's 16-bit images and the framework's records.
#pragma once

#include "contract/host_api.h"
#include "pixels/image_vx.h"

namespace vx {

// A new record from a host image: samples halved into 0..32767, rows top
// first, alpha 32767 for a 3-sample image. With a reference whose size
// differs, the record has the reference's size and the picture is resampled
// to it. Null for a null image (or when memory cannot be had).
ImageVx* import_host_image(const _image_str* image, const _image_str* reference = nullptr);

// Reads a host image into a record of its size: samples halved into
// 0..32767, rows top first, alpha 32767 for a 3-sample image.
void read_host_image(const _image_str* image, ImageVx* record);

// Writes the record back into the host image at full range, top row first,
// and clears the image's bottom-up flag. Does nothing when either is null.
void export_to_host_image(const ImageVx* record, _image_str* image);

// Row y (counted from the top) of a host image as record samples: four per
// pixel, halved.
void read_host_row(const _image_str* image, int y, std::uint16_t* out);
// Record samples (four per pixel) into row y of a host image at full range,
// as stored top row first (the caller clears the bottom-up flag).
void write_host_row(const std::uint16_t* in, _image_str* image, int y);

}  // namespace vx
