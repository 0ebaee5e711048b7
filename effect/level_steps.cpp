#include "effect/level_steps.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "effect/source_pyramid.h"

namespace vx {

namespace {

// A pyramid deep enough for every pair of levels the cap allows.
constexpr int deep = SourcePyramid::max_levels - 1;

int step_of(float area)
{
    const LevelBlend b = level_blend(area, deep);
    return b.level * LevelSteps::per_level + b.weight;
}

LevelSteps build()
{
    LevelSteps t;
    const std::uint32_t top = std::bit_cast<std::uint32_t>(200.0f);
    const int last = step_of(200.0f);
    t.first_area.reserve(std::size_t(last) + 2);
    t.first_area.push_back(-std::numeric_limits<float>::infinity());
    std::uint32_t from = std::bit_cast<std::uint32_t>(1.0f);
    for (int j = 1; j <= last; ++j) {
        // Where the step starts: a guess from the logarithm, widened until it
        // brackets the start, then halved down to one float.
        const double lev =
            std::floor(double(j) / LevelSteps::per_level) + (double(j % LevelSteps::per_level) - 0.5) / 16384.0;
        const double guess = std::pow(10.0, 2.0 * lev / double(3.321928f));
        std::uint32_t mid = std::bit_cast<std::uint32_t>(float(guess));
        if (mid <= from) mid = from + 1;
        if (mid > top) mid = top;
        std::uint32_t low = mid, high = mid;  // step_of(low) < j <= step_of(high)
        for (std::uint32_t span = 1; low > from && step_of(std::bit_cast<float>(low)) >= j; span *= 2)
            low = low > from + span ? low - span : from;
        for (std::uint32_t span = 1; high < top && step_of(std::bit_cast<float>(high)) < j; span *= 2)
            high = high + span < top ? high + span : top;
        while (high - low > 1) {
            const std::uint32_t m = low + (high - low) / 2;
            (step_of(std::bit_cast<float>(m)) >= j ? high : low) = m;
        }
        t.first_area.push_back(std::bit_cast<float>(high));
        from = high;
    }
    t.count = last + 1;
    t.first_area.push_back(std::numeric_limits<float>::infinity());
    return t;
}

}  // namespace

const LevelSteps& level_steps()
{
    static const LevelSteps table = build();
    return table;
}

}  // namespace vx
