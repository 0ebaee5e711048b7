#include "pixels/resampler.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace vx {

namespace {

// The taps of one destination position along an axis.
struct TapSpan {
    int first = 0;  // index into the axis's weight list
    int count = 0;
    double norm = 1.0;  // applied to each channel sum when reducing
    bool normalise = false;
};

// Tap positions and weights of every destination position of one axis, worked
// out once per axis and applied to every row (or column) along it.
struct AxisPlan {
    bool copy = false;
    std::vector<TapSpan> spans;
    std::vector<int> source_index;  // clamped source positions, per tap
    std::vector<double> weights;    // per tap
};

AxisPlan plan_axis(const double* table, int n, int m)
{
    AxisPlan plan;
    if (m == n) {
        plan.copy = true;
        return plan;
    }
    plan.spans.resize(std::size_t(m));
    if (m == 1) {
        // The scale (n - 1) / (m - 1) is infinite: take the centre sample.
        plan.spans[0] = TapSpan{0, 1, 1.0, false};
        plan.source_index.push_back((n - 1) / 2);
        plan.weights.push_back(1.0);
        return plan;
    }
    const double s = static_cast<double>(n - 1) / static_cast<double>(m - 1);
    const double R = Resampler::radius;
    const bool enlarging = m > n;
    const double reach = enlarging ? R : R * s;
    const double inv_s = 1.0 / s;
    for (int x = 0; x < m; ++x) {
        const double c = x * s;
        const int lo = static_cast<int>(std::ceil(c - reach));
        const int hi = static_cast<int>(std::floor(c + reach));
        TapSpan& span = plan.spans[std::size_t(x)];
        span.first = static_cast<int>(plan.weights.size());
        double weight_sum = 0.0;
        for (int i = lo; i <= hi; ++i) {
            const double d = enlarging ? (i - c) * 512.0 : (i - c) * inv_s * 512.0;
            long k = static_cast<long>(std::fabs(d));
            if (k > Resampler::table_size - 1) k = Resampler::table_size - 1;
            const double w = table[k];
            weight_sum += w;
            plan.weights.push_back(w);
            plan.source_index.push_back(i < 0 ? 0 : (i > n - 1 ? n - 1 : i));
        }
        span.count = static_cast<int>(plan.weights.size()) - span.first;
        span.normalise = !enlarging;
        span.norm = enlarging ? 1.0 : 1.0 / weight_sum;
    }
    return plan;
}

inline std::uint16_t to_sample(double v)
{
    if (v < 0.0) v = 0.0;
    if (v > 32767.0) v = 32767.0;
    return static_cast<std::uint16_t>(v + 0.5);
}

// One line along an axis: `src` and `dst` point at the first pixel, the
// strides are the sample distances between neighbouring pixels on the line.
void resample_line(const AxisPlan& plan, const std::uint16_t* src, std::size_t src_stride, int n, std::uint16_t* dst,
                   std::size_t dst_stride, int m)
{
    if (plan.copy) {
        for (int x = 0; x < n; ++x, src += src_stride, dst += dst_stride)
            std::memcpy(dst, src, 4 * sizeof(std::uint16_t));
        return;
    }
    for (int x = 0; x < m; ++x, dst += dst_stride) {
        const TapSpan& span = plan.spans[std::size_t(x)];
        double sum[4] = {0.0, 0.0, 0.0, 0.0};
        for (int t = span.first; t < span.first + span.count; ++t) {
            const std::uint16_t* p = src + std::size_t(plan.source_index[std::size_t(t)]) * src_stride;
            const double w = plan.weights[std::size_t(t)];
            sum[0] += w * p[0];
            sum[1] += w * p[1];
            sum[2] += w * p[2];
            sum[3] += w * p[3];
        }
        for (int c = 0; c < 4; ++c) {
            const double v = span.normalise ? sum[c] * span.norm : sum[c];
            dst[c] = to_sample(v);
        }
    }
}

}  // namespace

Resampler::Resampler()
{
    const double a = -0.5;
    for (int i = 0; i < table_size; ++i) {
        const double x = i * 0.001953125;
        double w = 0.0;
        if (x < 1.0)
            w = (a + 2.0) * (x * x * x) - (a + 3.0) * (x * x) + 1.0;
        else if (x < 2.0)
            w = a * (x * x * x) - (5.0 * a) * (x * x) + (8.0 * a) * x - 4.0 * a;
        weights_[i] = w;
    }
}

int Resampler::run(const ImageVx* source, ImageVx* destination)
{
    std::unique_ptr<ImageVx> intermediate(ImageVx::create(destination->width, source->height));
    if (!intermediate) return 0;
    run(source, destination, intermediate.get());
    return 1;
}

void Resampler::run(const ImageVx* source, ImageVx* destination, ImageVx* intermediate)
{
    const AxisPlan across = plan_axis(weights_, source->width, destination->width);
    for (int y = 0; y < source->height; ++y)
        resample_line(across, source->rows[y], 4, source->width, intermediate->rows[y], 4, destination->width);

    const AxisPlan down = plan_axis(weights_, source->height, destination->height);
    const std::size_t src_stride = std::size_t(intermediate->width) * 4;
    const std::size_t dst_stride = std::size_t(destination->width) * 4;
    for (int x = 0; x < destination->width; ++x)
        resample_line(down, intermediate->pixels + std::size_t(x) * 4, src_stride, source->height,
                      destination->pixels + std::size_t(x) * 4, dst_stride, destination->height);
}

}  // namespace vx
