#include <cstring>

#include "effect/trellin.h"

namespace vx {

void Trellin::render()
{
    ImageVx* in = input.image;
    ImageVx* out = output.image;
    frame.width = out->width;
    frame.height = out->height;
    if (abort_requested())
        return;
    std::memcpy(out->pixels, in->pixels, std::size_t(frame.width) * frame.height * 8);
}

}  // namespace vx
