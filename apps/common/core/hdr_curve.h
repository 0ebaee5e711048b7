// The logarithmic curve of --hdr log: maps values of the working space from
// below zero to far above 1 into the node's range 0..1 and back, so that
// highlights survive the node's 15-bit samples.
//
//   x >= 1/8:  v = (log2(x) + 6) / 16          16 stops across the whole range
//   x <  1/8:  v = 3/16 + (x - 1/8) / (2 ln 2)  a straight toe, same slope at 1/8
//
// v = 0 at x = 1/8 - (3/8) ln 2 = -0.1349 and v = 1 at x = 1024 (10 stops above
// 1.0). Some places on the node's 15-bit codes (0..32767, nearest code): 0 at
// 3189, 0.18 at 7221, 1/8 at 6144, 1.0 at 12288, 64 at 24575, 1024 at 32767.
// Above 1/8 one code is 16/32767 stop (0.034 %); below, 2 ln 2 / 32767 =
// 0.0000423 in value (a little coarser than the node's plain linear codes,
// 1/32767 = 0.0000305).
//
// A trip into the node and back (16-bit rounding, the node's 15-bit samples
// and its widening back to 16 bits) moves v by at most 1.5 / 65535: values
// come back within 0.00037 stop (0.026 %) from 1/8 up, and within 0.000032
// below.
#pragma once

namespace trellin_app::hdr_log {

inline constexpr double lowest = -0.13493;  // v = 0 (rounded toward zero)
inline constexpr double highest = 1024.0;   // v = 1
inline constexpr double toe_end = 0.125;    // where the toe meets the logarithm
// Round-trip bounds stated above.
inline constexpr double stops_error = 1.5 * 16.0 / 65535.0;
inline constexpr double toe_error = 1.5 * 2.0 * 0.69314718055994531 / 65535.0;

// x to v; not clamped (values outside lowest..highest fall outside 0..1).
float encode(float x);
// v to x.
float decode(float v);

}  // namespace trellin_app::hdr_log
