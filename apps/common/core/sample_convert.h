// Conversions between the host's 16-bit samples (0..65535) and the other
// sample forms a picture file may hold: 8-bit integers and floats in 0..1.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace trellin_app {

// x / 65535 rounded down, for 0 <= x <= 65535 * 1023 + 32767, by shifts and
// adds, which vectorise where a division does not. The quotient is exactly
// the division's over that range (every 16-bit v's x for to_8bit and
// to_10bit_in_16 is checked against the division by the tests).
constexpr std::uint32_t divide_by_65535(std::uint32_t x)
{
    return (x + 1u + (x >> 16)) >> 16;
}

// 16-bit to 8-bit, rounded to the nearest 8-bit step: (v * 255 + 32767) / 65535
// in integer arithmetic. A value exactly half way between two steps rounds
// down. 0 gives 0, 65535 gives 255, and every 8-bit value widened by 257
// (x * 257) comes back as itself, so 8-bit pictures survive a 16-bit trip.
constexpr std::uint8_t to_8bit(std::uint16_t v)
{
    return static_cast<std::uint8_t>(divide_by_65535(std::uint32_t(v) * 255u + 32767u));
}

// 16-bit to the nearest 10-bit step (rounded as to_8bit rounds), given back
// as the 16-bit value whose top 10 bits are that step and whose low 6 bits
// repeat its top bits: 0 gives 0, 65535 gives 65535.
constexpr std::uint16_t to_10bit_in_16(std::uint16_t v)
{
    const std::uint32_t s = divide_by_65535(std::uint32_t(v) * 1023u + 32767u);
    return static_cast<std::uint16_t>((s << 6) | (s >> 4));
}

// 8-bit to 16-bit: 0 gives 0, 255 gives 65535.
constexpr std::uint16_t from_8bit(std::uint8_t v)
{
    return static_cast<std::uint16_t>(v * 257u);
}

// `n` samples each way between 8 and 16 bits, as to_8bit and from_8bit
// convert them, over arrays that do not overlap (so the loops vectorise).
inline void to_8bit_samples(const std::uint16_t* __restrict in, std::uint8_t* __restrict out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) out[i] = to_8bit(in[i]);
}
inline void from_8bit_samples(const std::uint8_t* __restrict in, std::uint16_t* __restrict out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) out[i] = from_8bit(in[i]);
}

// A float sample to 16 bits: clamped to 0..1 (NaN counts as 0), scaled by
// 65535 and rounded to the nearest step.
inline std::uint16_t from_unit_float(float v)
{
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 65535;
    return static_cast<std::uint16_t>(v * 65535.0f + 0.5f);
}

// A 16-bit sample as a float in 0..1: v / 65535 rounded to the nearest
// float. It is formed as a product in double, which costs a fraction of a
// float division: the product lies within 2^-52 of v / 65535 (relatively),
// and no such quotient comes nearer than 2^-41 to a point where rounding to
// float changes, so rounding the product gives the rounded quotient (the
// tests compare the two for every sample).
inline float to_unit_float(std::uint16_t v)
{
    return static_cast<float>(static_cast<double>(v) * (1.0 / 65535.0));
}

}  // namespace trellin_app
