#include "apps/common/core/frame_colour.h"

#include <algorithm>
#include <cmath>

#include "apps/common/core/alpha_clip.h"
#include "apps/common/core/hdr_curve.h"
#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"

namespace trellin_app {

namespace {

bool in_unit_range(float v)
{
    return v >= 0.0f && v <= 1.0f;
}

// Calls fn(pixel, band) for every pixel, band by band at once.
template <class Fn>
void each_pixel(std::size_t pixels, Fn fn)
{
    for_pixel_bands(pixels, [&](int band, std::size_t first, std::size_t end) {
        for (std::size_t p = first; p < end; ++p) fn(p, band);
    });
}

// Calls fn(sample, band) on the colour samples (not alpha) of interleaved
// pixels of `n` samples, band by band at once.
template <class Fn>
void each_colour(std::vector<float>& f, int n, Fn fn)
{
    const std::size_t step = std::size_t(n);
    for_pixel_bands(f.size() / step, [&](int band, std::size_t first, std::size_t end) {
        for (std::size_t p = first; p < end; ++p)
            for (std::size_t c = 0; c < 3; ++c) fn(f[p * step + c], band);
    });
}

// One count per band, merged in band order.
struct BandCounts {
    std::vector<ClipCount> bands;
    explicit BandCounts(std::size_t pixels) : bands(std::size_t(pixel_band_count(pixels))) {}
    ClipCount& operator[](int band) { return bands[std::size_t(band)]; }
    void merge_into(ClipCount& total) const
    {
        for (const ClipCount& c : bands) total.merge(c);
    }
};

}  // namespace

std::vector<float> unit_floats(const HostPicture& picture, std::vector<float> storage)
{
    storage.resize(picture.data.size());
    const std::size_t n = std::size_t(picture.samples);
    for_pixel_bands(storage.size() / n, [&](int, std::size_t first, std::size_t end) {
        words_to_unit_floats(picture.data.data() + first * n, (end - first) * n, storage.data() + first * n);
    });
    return storage;
}

void store_unit_floats(const std::vector<float>& f, HostPicture& picture)
{
    const std::size_t n = std::size_t(picture.samples);
    for_pixel_bands(f.size() / n, [&](int, std::size_t first, std::size_t end) {
        std::transform(f.begin() + first * n, f.begin() + end * n, picture.data.begin() + first * n, from_unit_float);
    });
}

void unpremultiply(float* f, std::size_t pixels)
{
    for (std::size_t p = 0; p < pixels; ++p) {
        const float a = f[p * 4 + 3];
        if (a > 0.0f)
            for (std::size_t c = 0; c < 3; ++c) f[p * 4 + c] /= a;
    }
}

void premultiply(float* f, std::size_t pixels)
{
    for (std::size_t p = 0; p < pixels; ++p)
        for (std::size_t c = 0; c < 3; ++c) f[p * 4 + c] *= f[p * 4 + 3];
}

void floats_into_node(std::vector<float> f, HostPicture picture, const FloatsIn& how, const SpaceStep& convert,
                      NodeFrame& frame)
{
    const int n = picture.samples;
    const bool log = how.hdr == HdrMode::log;
    const bool associated = how.associated_alpha && n == 4;
    // Integer samples within 0..1 that nothing converts go in as they are:
    // split has nothing to take out of them.
    if (!how.float_samples && !associated && !convert && !log) {
        frame.picture = std::move(picture);
        return;
    }
    if (f.empty()) f = unit_floats(picture, std::move(f));
    const std::size_t pixels = f.size() / std::size_t(n);
    ClipCount& clip = frame.clipped;
    // Alpha into 0..1 first, before colour is divided by it.
    if (n == 4) clip_alpha(f.data(), pixels, clip);
    if (associated)
        for_pixel_bands(pixels, [&f](int, std::size_t first, std::size_t end) {
            unpremultiply(f.data() + first * 4, end - first);
        });
    if (convert) convert(f.data(), pixels, n);

    if (how.hdr == HdrMode::split) {
        frame.parts = split_samples(f, picture, clip);
    } else {
        BandCounts counts(pixels);
        each_colour(f, n, [&counts, log](float& x, int band) {
            const float v = log ? hdr_log::encode(x) : x;
            if (!in_unit_range(v)) counts[band].add(x);
            x = v;
        });
        counts.merge_into(clip);
    }
    clip.total = static_cast<long long>(pixels) * 3;
    if (n == 4) {
        // What comes back when alpha is not refracted: the input's, clipped.
        frame.alpha.resize(pixels);
        each_pixel(pixels, [&](std::size_t p, int) { frame.alpha[p] = f[p * 4 + 3]; });
    }
    store_unit_floats(f, picture);
    frame.picture = std::move(picture);
    frame.spare = std::move(f);
}

bool floats_out_of_node(HostPicture& result, const NodeFrame& frame, const SplitParts* parts, const FloatsOut& how,
                        const SpaceStep& convert, std::vector<float>&& storage, OutputFrame& out)
{
    const bool log = frame.hdr == HdrMode::log;
    const bool split = parts != nullptr && !parts->empty();
    const int n = result.samples;
    const std::size_t pixels = result.data.size() / std::size_t(n);
    const bool associated = how.form.associated_alpha && n == 4;
    // Alpha that was not refracted is the input's: written as it was read.
    const bool input_alpha = how.input_alpha && n == 4 && frame.alpha.size() == pixels;
    if (!log && !split && !convert && !associated && !(input_alpha && how.form.float_samples)) return false;

    std::vector<float> f = unit_floats(result, std::move(storage));
    if (log) each_colour(f, n, [](float& v, int) { v = hdr_log::decode(v); });
    if (split) add_parts(f, *parts);
    if (input_alpha) each_pixel(pixels, [&f, &frame](std::size_t p, int) { f[p * 4 + 3] = frame.alpha[p]; });
    if (convert) convert(f.data(), pixels, n);
    if (associated)
        for_pixel_bands(
            pixels, [&f](int, std::size_t first, std::size_t end) { premultiply(f.data() + first * 4, end - first); });
    BandCounts counts(pixels);
    const std::size_t step = std::size_t(n);
    if (!how.form.float_samples) {
        each_pixel(pixels, [&](std::size_t p, int band) {
            for (std::size_t i = p * step; i < (p + 1) * step; ++i)
                if (!in_unit_range(f[i])) counts[band].add(f[i]);
        });
        counts.merge_into(out.clipped);
        out.clipped.total = static_cast<long long>(f.size());
    } else {
        // Floats keep values outside 0..1, but never NaN or infinities.
        each_pixel(pixels, [&](std::size_t p, int band) {
            for (std::size_t i = p * step; i < (p + 1) * step; ++i) {
                float& v = f[i];
                if (std::isfinite(v)) continue;
                counts[band].add(v);
                v = v > 0.0f ? 1.0f : 0.0f;
            }
        });
        counts.merge_into(out.clipped);
        if (out.clipped.clipped > 0) out.clipped.total = static_cast<long long>(f.size());
    }
    store_unit_floats(f, result);
    out.samples = std::move(f);
    return true;
}

}  // namespace trellin_app
