#include "effect/kernel_choice.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "effect/kernel_choice.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace vx {
namespace HWY_NAMESPACE {

std::int64_t target_in_use()
{
    return HWY_TARGET;
}

}  // namespace HWY_NAMESPACE
}  // namespace vx
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vx {

HWY_EXPORT(target_in_use);

namespace {

Kernels from_environment()
{
    const char* text = std::getenv("TRELLIN_KERNELS");
    return text && std::strcmp(text, "reference") == 0 ? Kernels::reference : Kernels::fast;
}

// The target the fast kernels are restricted to; 0 for none.
std::atomic<std::int64_t> restriction{0};

}  // namespace

Kernels default_kernels()
{
    return from_environment();
}

std::vector<std::int64_t> simd_targets()
{
    const std::int64_t held = restriction.load();
    if (held != 0) use_simd_target(0);
    std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
    if (held != 0) use_simd_target(held);
    return targets;
}

void use_simd_target(std::int64_t target)
{
    restriction.store(target);
    hwy::SetSupportedTargetsForTest(target);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

const char* simd_target_name()
{
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(target_in_use)());
}

const char* simd_target_name(std::int64_t target)
{
    return hwy::TargetName(target);
}

}  // namespace vx
#endif  // HWY_ONCE
