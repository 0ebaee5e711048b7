// The level blend as a table: for a pyramid of four or more reduced levels,
// the blend of a box (level_blend) steps through (level, share) = (j / 16385,
// j % 16385) for j = 0, 1, 2, ... as its area grows from 1 to the cap of
// 200. The table holds the smallest float area of each step, found once from
// level_blend itself, so a lookup gives exactly its result without a
// logarithm.
#pragma once

#include <vector>

namespace vx {

struct LevelSteps {
    static constexpr int per_level = 16385;  // shares 0..16384
    // first_area[j]: the smallest area of step j (step 0 from minus
    // infinity); one more entry, +infinity, ends the last step.
    std::vector<float> first_area;
    int count = 0;  // steps
};

const LevelSteps& level_steps();

}  // namespace vx
