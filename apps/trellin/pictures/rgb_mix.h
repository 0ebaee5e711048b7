// Colours as three doubles, mixed and scaled, and written as 16-bit samples:
// what the drawn pictures (the demo picture, the scene) paint with.
#pragma once

#include <algorithm>
#include <cstdint>

namespace trellin_app {

struct Rgb {
    double r, g, b;
};

inline Rgb mix(const Rgb& a, const Rgb& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

inline Rgb scale(const Rgb& a, double k)
{
    return {a.r * k, a.g * k, a.b * k};
}

// 0..1 as a 16-bit sample, rounded; outside it, clamped.
inline std::uint16_t sample(double v)
{
    return static_cast<std::uint16_t>(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5);
}

}  // namespace trellin_app
