#include "apps/ofx/host_image.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "apps/common/core/frame_colour.h"
#include "apps/common/core/picture_limits.h"
#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"
#include "apps/ofx/host_suites.h"

namespace trellin_ofx {

using trellin_app::for_row_bands;

namespace {

int bytes_per_sample(SampleKind kind)
{
    return kind == SampleKind::byte ? 1 : kind == SampleKind::word ? 2 : 4;
}

bool float_aligned(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p) % alignof(float) == 0;
}

// A row of `n` float samples (RGBA) into the node's 16-bit samples, as
// from_unit_float converts samples within 0..1. The row's alpha goes into
// `alpha` (`alpha_stored` true) unless every alpha is exactly 0 or 1: the
// node keeps those two as they are, so the frame's result gives them back.
// False when a sample is not a number within 0..1 (`out` and `alpha` are
// then unusable).
bool unit_row_to_node(const float* in, std::size_t n, std::uint16_t* out, float* alpha, bool& alpha_stored)
{
    if (!trellin_app::unit_floats_to_words(in, n, out)) return false;
    // By their bits: -0 is kept as it was read, the node would give back 0.
    std::uint32_t other = 0;
    for (std::size_t x = 0; x < n / 4; ++x) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, in + x * 4 + 3, sizeof bits);
        other |= std::uint32_t(bits != 0u) & std::uint32_t(bits != 0x3f800000u);
    }
    alpha_stored = other != 0;
    if (alpha_stored)
        for (std::size_t x = 0; x < n / 4; ++x) alpha[x] = in[x * 4 + 3];
    return true;
}

// `count` of the node's 16-bit samples (RGBA) as floats into `out`: alpha
// from `alpha` when given, colour multiplied by alpha when `premultiply`.
void node_row_to_unit(const std::uint16_t* words, const float* alpha, bool premultiply, float* out, std::size_t count)
{
    trellin_app::words_to_unit_floats(words, count, out);
    if (alpha != nullptr)
        for (std::size_t p = 0; p < count / 4; ++p) out[p * 4 + 3] = alpha[p];
    if (premultiply) trellin_app::premultiply(out, count / 4);
}

// A row's worth of floats for the calling thread, kept from frame to frame.
float* row_floats(std::size_t samples)
{
    thread_local std::vector<float> line;
    if (line.size() < samples) line.resize(samples);
    return line.data();
}

// Gives `picture` the source's shape (its buffer is reused from frame to
// frame: every sample is written).
void shape_picture(const ImageView& src, trellin_app::HostPicture& picture)
{
    picture.width = src.width();
    picture.height = src.height();
    picture.samples = 4;
    picture.attributes = nullptr;
    picture.data.resize(std::size_t(src.width()) * std::size_t(src.height()) * 4);
    picture.pixel_aspect = src.pixel_aspect;
}

// Calls emit(out, at, count) for each row of `window` (clipped to dst's
// bounds) that the source covers, at once on the host's processors: `out`
// is where the row's first covered sample goes, `at` the index of its first
// sample in the node's `result` and `count` the samples. Pixels outside the
// source become transparent black.
template <class Emit>
void each_output_run(const trellin_app::HostPicture& result, const OfxRectI& source_bounds, const ImageView& dst,
                     const OfxRectI& window, const Emit& emit)
{
    const int x1 = std::max(window.x1, dst.bounds.x1), x2 = std::min(window.x2, dst.bounds.x2);
    const int y1 = std::max(window.y1, dst.bounds.y1), y2 = std::min(window.y2, dst.bounds.y2);
    if (x1 >= x2 || y1 >= y2) return;
    const int sw = result.width, sh = result.height;
    const std::size_t size = static_cast<std::size_t>(bytes_per_sample(dst.kind));
    // The columns of the window the source covers.
    const int in1 = std::clamp(source_bounds.x1, x1, x2), in2 = std::clamp(source_bounds.x1 + sw, in1, x2);
    for_row_bands(y2 - y1, x2 - x1, [&](int first, int end) {
        for (int y = y1 + first; y < y1 + end; ++y) {
            unsigned char* row =
                dst.row(y) + static_cast<long long>(x1 - dst.bounds.x1) * 4 * static_cast<long long>(size);
            const int top = source_bounds.y2 - 1 - y;  // the picture's row
            if (top < 0 || top >= sh || in1 >= in2) {
                std::memset(row, 0, std::size_t(x2 - x1) * 4 * size);
                continue;
            }
            // Transparent black left and right of the source.
            std::memset(row, 0, std::size_t(in1 - x1) * 4 * size);
            std::memset(row + std::size_t(in2 - x1) * 4 * size, 0, std::size_t(x2 - in2) * 4 * size);
            const std::size_t at = (std::size_t(top) * std::size_t(sw) + std::size_t(in1 - source_bounds.x1)) * 4;
            emit(row + std::size_t(in1 - x1) * 4 * size, at, std::size_t(in2 - in1) * 4);
        }
    });
}

}  // namespace

std::string depth_name(SampleKind kind)
{
    return kind == SampleKind::byte ? "8-bit" : kind == SampleKind::word ? "16-bit" : "32-bit float";
}

bool describe_image(OfxPropertySetHandle image, ImageView& view, std::string& error)
{
    const std::string components = get_string(image, kOfxImageEffectPropComponents);
    if (components != kOfxImageComponentRGBA) {
        error = "images must be RGBA (this one is " + (components.empty() ? std::string("unnamed") : components) + ")";
        return false;
    }
    const std::string depth = get_string(image, kOfxImageEffectPropPixelDepth);
    if (depth == kOfxBitDepthByte) {
        view.kind = SampleKind::byte;
    } else if (depth == kOfxBitDepthShort) {
        view.kind = SampleKind::word;
    } else if (depth == kOfxBitDepthFloat) {
        view.kind = SampleKind::real;
    } else {
        error = "images of depth \"" + depth + "\" are not taken (8-bit, 16-bit and float are)";
        return false;
    }
    view.data = static_cast<unsigned char*>(get_pointer(image, kOfxImagePropData));
    int b[4] = {0, 0, 0, 0};
    if (host_suites().props->propGetIntN(image, kOfxImagePropBounds, 4, b) != kOfxStatOK) {
        error = "the image has no bounds";
        return false;
    }
    view.bounds = {b[0], b[1], b[2], b[3]};
    view.row_bytes = get_int(image, kOfxImagePropRowBytes);
    view.premultiplied = get_string(image, kOfxImageEffectPropPreMultiplication) == kOfxImagePreMultiplied;
    view.pixel_aspect = get_double(image, kOfxImagePropPixelAspectRatio, 0, 1.0);
    if (!(view.pixel_aspect > 0.0) || view.pixel_aspect > 1e6) view.pixel_aspect = 1.0;

    const long long w = static_cast<long long>(b[2]) - b[0], h = static_cast<long long>(b[3]) - b[1];
    if (view.data == nullptr) {
        error = "the image has no pixels";
        return false;
    }
    // The sides alone: the host holds the image already.
    if (w <= 0 || h <= 0 || w > trellin_app::max_picture_side || h > trellin_app::max_picture_side) {
        error = "the image's bounds (" + std::to_string(b[0]) + "," + std::to_string(b[1]) + " to " +
                std::to_string(b[2]) + "," + std::to_string(b[3]) +
                "): " + trellin_app::picture_size_fault(w, h, UINT64_MAX);
        return false;
    }
    const long long row = w * 4 * bytes_per_sample(view.kind);
    if (view.row_bytes < row && -view.row_bytes < row) {
        error = "the image's rows (" + std::to_string(view.row_bytes) + " bytes) are shorter than its pixels";
        return false;
    }
    return true;
}

trellin_app::PictureSource source_form(const ImageView& src)
{
    trellin_app::PictureSource source;
    source.alpha = true;
    source.associated_alpha = src.premultiplied;
    source.float_samples = src.kind == SampleKind::real;
    source.format = source.float_samples ? "openexr" : src.premultiplied ? "tiff" : "png";
    return source;
}

void read_source(const ImageView& src, trellin_app::HostPicture& picture, trellin_app::PictureSource& source)
{
    const int w = src.width(), h = src.height();
    shape_picture(src, picture);
    std::vector<float> floats = std::move(source.samples);  // storage to reuse
    source = source_form(src);
    if (source.float_samples) {
        source.samples = std::move(floats);
        source.samples.resize(std::size_t(w) * std::size_t(h) * 4);
    }

    const std::size_t row_samples = std::size_t(w) * 4;
    for_row_bands(h, w, [&](int first, int end) {
        for (int top = first; top < end; ++top) {
            // Row `top` of the picture is the image's row y2 - 1 - top.
            const unsigned char* in = src.row(src.bounds.y2 - 1 - top);
            std::uint16_t* out = picture.data.data() + std::size_t(top) * row_samples;
            switch (src.kind) {
            case SampleKind::byte:
                trellin_app::from_8bit_samples(in, out, row_samples);
                break;
            case SampleKind::word:
                std::memcpy(out, in, row_samples * sizeof(std::uint16_t));
                break;
            case SampleKind::real:
                // The floats as they are; the colour handling makes the
                // 16-bit samples from them.
                std::memcpy(source.samples.data() + std::size_t(top) * row_samples, in, row_samples * sizeof(float));
                break;
            }
        }
    });
}

bool words_in_place(const ImageView& src, _image_str& image)
{
    const long long row = static_cast<long long>(src.width()) * 4 * 2;
    if (src.kind != SampleKind::word || (src.row_bytes != row && src.row_bytes != -row) ||
        reinterpret_cast<std::uintptr_t>(src.data) % alignof(std::uint16_t) != 0)
        return false;
    const bool upwards = src.row_bytes > 0;
    image.width = src.width();
    image.height = src.height();
    image.samples = 4;
    image.flags = upwards ? IMAGE_BOTTOM_UP : 0;
    // Downwards rows start, in memory, at the top one.
    image.data = reinterpret_cast<std::uint16_t*>(upwards ? src.data : src.row(src.bounds.y2 - 1));
    return true;
}

bool read_unit_floats(const ImageView& src, trellin_app::HostPicture& picture, SourceAlpha& alpha)
{
    const int w = src.width(), h = src.height();
    shape_picture(src, picture);
    alpha.values.resize(std::size_t(w) * std::size_t(h));
    alpha.stored.resize(std::size_t(h));
    const std::size_t n = std::size_t(w) * 4;
    std::atomic<bool> outside{false};
    for_row_bands(h, w, [&](int first, int end) {
        float* line = row_floats(n);
        for (int top = first; top < end; ++top) {
            if (outside.load(std::memory_order_relaxed)) return;
            // Rows are read where they lie when they are aligned for floats
            // and need no division; otherwise they are copied first.
            const unsigned char* row = src.row(src.bounds.y2 - 1 - top);
            const float* in = line;
            if (!src.premultiplied && float_aligned(row)) {
                in = reinterpret_cast<const float*>(row);
            } else {
                std::memcpy(line, row, n * sizeof(float));
            }
            if (src.premultiplied) trellin_app::unpremultiply(line, std::size_t(w));
            bool stored = false;
            if (!unit_row_to_node(in, n, picture.data.data() + std::size_t(top) * n,
                                  alpha.values.data() + std::size_t(top) * std::size_t(w), stored)) {
                outside.store(true, std::memory_order_relaxed);
                return;
            }
            alpha.stored[std::size_t(top)] = stored ? 1 : 0;
        }
    });
    return !outside.load();
}

trellin_app::OutputForm output_form(const ImageView& dst)
{
    trellin_app::OutputForm form;
    form.float_samples = dst.kind == SampleKind::real;
    form.associated_alpha = dst.premultiplied;
    form.format = form.float_samples ? "openexr" : dst.premultiplied ? "tiff" : "png";
    return form;
}

void write_output(const trellin_app::OutputFrame& result, const OfxRectI& source_bounds, const ImageView& dst,
                  const OfxRectI& window)
{
    const bool floats = !result.samples.empty();
    each_output_run(result.picture, source_bounds, dst, window,
                    [&](unsigned char* out, std::size_t at, std::size_t count) {
                        const std::uint16_t* words = result.picture.data.data() + at;
                        switch (dst.kind) {
                        case SampleKind::byte:
                            trellin_app::to_8bit_samples(words, out, count);
                            break;
                        case SampleKind::word:
                            std::memcpy(out, words, count * sizeof(std::uint16_t));
                            break;
                        case SampleKind::real:
                            if (floats) {
                                std::memcpy(out, result.samples.data() + at, count * sizeof(float));
                            } else {
                                // Converted where the row lies when it is aligned for floats.
                                float* line = float_aligned(out) ? reinterpret_cast<float*>(out) : row_floats(count);
                                trellin_app::words_to_unit_floats(words, count, line);
                                if (line != reinterpret_cast<float*>(out))
                                    std::memcpy(out, line, count * sizeof(float));
                            }
                            break;
                        }
                    });
}

void write_unit_floats(const trellin_app::HostPicture& result, const SourceAlpha* alpha, const OfxRectI& source_bounds,
                       const ImageView& dst, const OfxRectI& window)
{
    each_output_run(result, source_bounds, dst, window, [&](unsigned char* out, std::size_t at, std::size_t count) {
        // Written where the row lies when it is aligned for floats.
        float* line = float_aligned(out) ? reinterpret_cast<float*>(out) : row_floats(count);
        const float* kept = nullptr;
        if (alpha != nullptr && alpha->stored[at / 4 / std::size_t(result.width)] != 0)
            kept = alpha->values.data() + at / 4;
        node_row_to_unit(result.data.data() + at, kept, dst.premultiplied, line, count);
        if (line != reinterpret_cast<float*>(out)) std::memcpy(out, line, count * sizeof(float));
    });
}

}  // namespace trellin_ofx
