// Samples a range clipped, counted for the notes that tell how many.
#pragma once

#include <cmath>
#include <limits>

namespace trellin_app {

// Samples clipped to a range, with the lowest and highest of them.
struct ClipCount {
    long long clipped = 0;                                  // samples outside the range (those not finite among them)
    long long non_finite = 0;                               // of those, NaN and infinities
    long long total = 0;                                    // samples looked at
    float lowest = std::numeric_limits<float>::infinity();  // of the finite ones
    float highest = -std::numeric_limits<float>::infinity();
    // Alpha samples clipped into 0..1 (clip_alpha, alpha_clip.h), counted
    // apart from colour: the fields above count colour samples only.
    long long alpha_clipped = 0;     // of them, the not finite below
    long long alpha_non_finite = 0;  // NaN and infinities
    long long alpha_total = 0;       // alpha samples looked at
    float alpha_lowest = std::numeric_limits<float>::infinity();
    float alpha_highest = -std::numeric_limits<float>::infinity();

    void add(float value)
    {
        ++clipped;
        if (!std::isfinite(value)) {
            ++non_finite;
            return;
        }
        if (value < lowest) lowest = value;
        if (value > highest) highest = value;
    }
    void add_alpha(float value)
    {
        ++alpha_clipped;
        if (!std::isfinite(value)) {
            ++alpha_non_finite;
            return;
        }
        if (value < alpha_lowest) alpha_lowest = value;
        if (value > alpha_highest) alpha_highest = value;
    }
    void merge(const ClipCount& other);
};

}  // namespace trellin_app
