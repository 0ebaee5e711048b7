// The fast kernels' run-time dispatch: it picks the best instruction set the
// processor runs, and the build has the wide ones (AVX2, AVX-512) on every
// system it is made for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "effect/kernel_choice.h"

namespace {

std::vector<std::string> target_names()
{
    std::vector<std::string> names;
    for (std::int64_t target : vx::simd_targets()) names.push_back(vx::simd_target_name(target));
    return names;
}

bool has(const std::vector<std::string>& names, const char* name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(KernelChoice, DispatchPicksTheBestInstructionSetTheProcessorRuns)
{
    vx::use_simd_target(0);
    const std::vector<std::string> names = target_names();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(std::string(vx::simd_target_name()), names.front());
#if defined(__x86_64__)
    EXPECT_TRUE(has(names, "SSE4"));
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi2")) {
        EXPECT_TRUE(has(names, "AVX2"));
    }
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl")) {
        EXPECT_TRUE(has(names, "AVX3"));
        EXPECT_EQ(names.front().rfind("AVX3", 0), 0u) << names.front();
    }
#endif
    std::string all;
    for (const std::string& name : names) all += name + " ";
    std::printf("instruction sets, best first: %s\n", all.c_str());

    // Restricting to one and lifting the restriction again.
    vx::use_simd_target(vx::simd_targets().back());
    EXPECT_EQ(std::string(vx::simd_target_name()), names.back());
    vx::use_simd_target(0);
    EXPECT_EQ(std::string(vx::simd_target_name()), names.front());
}

}  // namespace
