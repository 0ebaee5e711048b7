// Which kernels render a frame: the fast ones (vector code for the best
// instruction set of the processor, chosen at run time) or the plain
// reference ones that every result of the fast ones is checked against.
#pragma once

#include <cstdint>
#include <vector>

namespace vx {

enum class Kernels { fast, reference };

// The kernels a new node renders with unless told otherwise: TRELLIN_KERNELS
// from the environment ("reference" or "fast"; fast when unset or anything
// else).
Kernels default_kernels();

// The instruction sets the fast kernels are built for that this processor
// runs, best first (Highway target bits).
std::vector<std::int64_t> simd_targets();
// Restricts the fast kernels to one of simd_targets(); 0 lifts the
// restriction. For tests and benchmarks; not safe while a frame renders.
void use_simd_target(std::int64_t target);
// The name of the instruction set the fast kernels use now ("AVX3", "AVX2",
// "SSE4", "EMU128" for the portable code).
const char* simd_target_name();
const char* simd_target_name(std::int64_t target);

}  // namespace vx
