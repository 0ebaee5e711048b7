#include "apps/common/core/hdr_curve.h"

#include <cmath>

namespace trellin_app::hdr_log {

namespace {

constexpr double stops = 16.0;         // log2 units across v = 0..1
constexpr double top_stop = 10.0;      // log2 of the highest value
constexpr double toe_code = 3.0 / 16;  // v at toe_end
const double toe_slope = 1.0 / (stops * toe_end * std::log(2.0));

}  // namespace

float encode(float x)
{
    const double v =
        x >= toe_end ? (std::log2(double(x)) - top_stop) / stops + 1.0 : toe_code + (x - toe_end) * toe_slope;
    return static_cast<float>(v);
}

float decode(float v)
{
    const double x =
        v >= toe_code ? std::exp2((double(v) - 1.0) * stops + top_stop) : toe_end + (v - toe_code) / toe_slope;
    return static_cast<float>(x);
}

}  // namespace trellin_app::hdr_log
