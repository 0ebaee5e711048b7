// Separable cubic-convolution resampling (a = -0.5, radius 2) of one record
// into another of a different size: first along rows, then along columns.
#pragma once

#include "pixels/image_vx.h"

namespace vx {

class Resampler {
public:
    Resampler();
    // Fills `destination` from `source`. Returns 1, or 0 when the
    // intermediate record cannot be allocated (destination untouched).
    int run(const ImageVx* source, ImageVx* destination);
    // The same through a given intermediate record of destination->width x
    // source->height.
    void run(const ImageVx* source, ImageVx* destination, ImageVx* intermediate);

    static constexpr int table_size = 1025;
    static constexpr int radius = 2;
    const double* weights() const { return weights_; }

private:
    double weights_[table_size];
};

}  // namespace vx
