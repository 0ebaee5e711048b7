#include "effect/vector3.h"

#include <cmath>

namespace vx {

void cross3(Vec3& out, const Vec3& a, const Vec3& b)
{
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    // Computed into locals first so that `out` may alias `a` or `b`.
    const float x = static_cast<float>(ay * bz - az * by);
    const float y = static_cast<float>(az * bx - ax * bz);
    const float z = static_cast<float>(ax * by - ay * bx);
    out.x = x;
    out.y = y;
    out.z = z;
}

float normalize3(Vec3& v)
{
    float m = std::fabs(v.x);
    if (std::fabs(v.y) > m) m = std::fabs(v.y);
    if (std::fabs(v.z) > m) m = std::fabs(v.z);
    if (m < 1e-10f) {
        v = Vec3{};
        return 0.0f;
    }
    const double x = v.x, y = v.y, z = v.z;
    const double s = static_cast<float>(x * x + y * y + z * z);
    // Newton's iteration for sqrt(s) started from m: g1 is twice the first
    // estimate, g2 and g3 the second and third.
    const double dm = m;
    const double g1 = dm + s / dm;
    const double g2 = s / g1 + 0.25 * g1;
    const double g3 = (g2 + s / g2) * 0.5;
    const float length = static_cast<float>(g3);
    const double f = 1.0 / static_cast<double>(length);
    v.x = static_cast<float>(x * f);
    v.y = static_cast<float>(y * f);
    v.z = static_cast<float>(z * f);
    return length;
}

}  // namespace vx
