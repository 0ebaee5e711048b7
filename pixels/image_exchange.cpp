#include "pixels/image_exchange.h"

#include "pixels/parallel_rows.h"
#include "pixels/resampler.h"

namespace vx {

void read_host_row(const _image_str* image, int y, std::uint16_t* d)
{
    const int w = image->width;
    const int h = image->height;
    const int step = image->samples;
    const int stored = (image->flags & IMAGE_BOTTOM_UP) != 0 ? h - 1 - y : y;
    const std::uint16_t* s = image->data + std::size_t(stored) * std::size_t(w) * std::size_t(step);
    if (step == 4) {
        for (int i = 0; i < w * 4; ++i) d[i] = static_cast<std::uint16_t>(s[i] >> 1);
    } else {
        for (int x = 0; x < w; ++x, s += step, d += 4) {
            d[0] = static_cast<std::uint16_t>(s[0] >> 1);
            d[1] = static_cast<std::uint16_t>(s[1] >> 1);
            d[2] = static_cast<std::uint16_t>(s[2] >> 1);
            d[3] = 32767;
        }
    }
}

void read_host_image(const _image_str* image, ImageVx* record)
{
    parallel_rows(image->height, [=](int first, int last) {
        for (int y = first; y <= last; ++y) read_host_row(image, y, record->rows[y]);
    });
}

namespace {

// 0..32767 back onto 0..65535: the top bit is repeated into the freed low bit,
// so 0 stays 0 and 32767 becomes 65535.
inline std::uint16_t widen(std::uint16_t s)
{
    return static_cast<std::uint16_t>((s << 1) | (s >> 14));
}

}  // namespace

ImageVx* import_host_image(const _image_str* image, const _image_str* reference)
{
    if (!image || image->samples < 3) return nullptr;
    const bool resample = reference && (reference->width != image->width || reference->height != image->height);
    ImageVx* result =
        resample ? ImageVx::create(reference->width, reference->height) : ImageVx::create(image->width, image->height);
    if (!result) return nullptr;
    if (!resample) {
        read_host_image(image, result);
        return result;
    }
    ImageVx* temporary = ImageVx::create(image->width, image->height);
    int done = 0;
    if (temporary) {
        read_host_image(image, temporary);
        done = Resampler().run(temporary, result);
        delete temporary;
    }
    if (!done) {
        // Without the resampler's records the picture cannot be fitted.
        delete result;
        return nullptr;
    }
    return result;
}

void write_host_row(const std::uint16_t* s, _image_str* image, int y)
{
    const int w = image->width;
    const int step = image->samples;
    std::uint16_t* d = image->data + std::size_t(y) * std::size_t(w) * std::size_t(step);
    if (step == 4) {
        for (int i = 0; i < w * 4; ++i) d[i] = widen(s[i]);
    } else {
        for (int x = 0; x < w; ++x, s += 4, d += step) {
            d[0] = widen(s[0]);
            d[1] = widen(s[1]);
            d[2] = widen(s[2]);
        }
    }
}

void export_to_host_image(const ImageVx* record, _image_str* image)
{
    if (!record || !image) return;
    parallel_rows(image->height, [=](int first, int last) {
        for (int y = first; y <= last; ++y) write_host_row(record->rows[y], image, y);
    });
    image->flags = static_cast<std::uint8_t>(image->flags & ~IMAGE_BOTTOM_UP);
}

}  // namespace vx
