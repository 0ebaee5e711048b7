// Samples a range clipped, counted for the notes that tell how many.
#pragma once

#include <limits>

namespace trellin_app {

// Samples clipped to a range, with the lowest and highest of them.
struct ClipCount {
    long long clipped = 0;  // samples outside the range (NaN among them)
    long long total = 0;    // samples looked at
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -std::numeric_limits<float>::infinity();

    void add(float value)
    {
        ++clipped;
        if (value < lowest) lowest = value;
        if (value > highest) highest = value;
    }
    void merge(const ClipCount& other);
};

}  // namespace trellin_app
