// Per-pixel formulas that end in a library function or a quantisation, shared
// by the reference passes and by the fast kernels, which fall back on them
// wherever their own approximation cannot decide the result.
#pragma once

#include <cmath>
#include <cstdint>

namespace vx {

// The dome's 15-bit height at `t` (0 at the cell's circumradius, 1 at its
// centre): a quarter sine raised to the power `curve`, truncated.
inline std::uint16_t dome_level(float t, double curve)
{
    const double s = std::sin(double(t) * 1.570796327);
    float v = float(std::pow(s, curve));
    if (v > 1.0f)
        v = 1.0f;
    else if (!(v >= 0.0f))
        v = 0.0f;
    return std::uint16_t(int(v * 32767.0f));
}

// The highlight of a surface whose normal and light direction have the dot
// product `d`: none facing away, otherwise d to the power "Gloss" times the
// brightness.
inline float highlight(float d, double gloss, double brightness)
{
    return d < 0.0f ? 0.0f : static_cast<float>(std::pow(static_cast<double>(d), gloss) * brightness);
}

// A lit colour channel: the light colour scaled by the highlight plus the
// dimmed sample, truncated and kept within 0..32767 (a NaN counts as 0).
inline std::uint16_t lit_value(float colour, float highlight, std::uint16_t sample, float back)
{
    const float v = colour * highlight + static_cast<float>(sample) * back;
    if (v >= 32767.0f) return 32767;
    if (v > 0.0f) return static_cast<std::uint16_t>(static_cast<int>(v));
    return 0;
}

}  // namespace vx
