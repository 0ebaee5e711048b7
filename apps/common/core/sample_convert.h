// Conversions between the host's 16-bit samples (0..65535) and the other
// sample forms a picture file may hold: 8-bit integers and floats in 0..1.
#pragma once

#include <cmath>
#include <cstdint>

namespace trellin_app {

// 16-bit to 8-bit, rounded to the nearest 8-bit step: (v * 255 + 32767) / 65535
// in integer arithmetic. A value exactly half way between two steps rounds
// down. 0 gives 0, 65535 gives 255, and every 8-bit value widened by 257
// (x * 257) comes back as itself, so 8-bit pictures survive a 16-bit trip.
constexpr std::uint8_t to_8bit(std::uint16_t v)
{
    return static_cast<std::uint8_t>((std::uint32_t(v) * 255u + 32767u) / 65535u);
}

// 16-bit to the nearest 10-bit step (rounded as to_8bit rounds), given back
// as the 16-bit value whose top 10 bits are that step and whose low 6 bits
// repeat its top bits: 0 gives 0, 65535 gives 65535.
constexpr std::uint16_t to_10bit_in_16(std::uint16_t v)
{
    const std::uint32_t s = (std::uint32_t(v) * 1023u + 32767u) / 65535u;
    return static_cast<std::uint16_t>((s << 6) | (s >> 4));
}

// 8-bit to 16-bit: 0 gives 0, 255 gives 65535.
constexpr std::uint16_t from_8bit(std::uint8_t v)
{
    return static_cast<std::uint16_t>(v * 257u);
}

// A float sample to 16 bits: clamped to 0..1 (NaN counts as 0), scaled by
// 65535 and rounded to the nearest step.
inline std::uint16_t from_unit_float(float v)
{
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 65535;
    return static_cast<std::uint16_t>(v * 65535.0f + 0.5f);
}

// A 16-bit sample as a float in 0..1.
inline float to_unit_float(std::uint16_t v)
{
    return static_cast<float>(v) / 65535.0f;
}

}  // namespace trellin_app
