// Float alpha outside 0..1, as every host takes it in: alpha is how much of
// a pixel is covered, so a value below 0 or above 1 means nothing a picture
// can show, and passed on it would scale the colour it is multiplied with
// (an alpha of 3 triples it, -2 turns it over). Each host clips it into
// 0..1 before the colour is divided by it or the node sees it, counts it
// apart from colour, and says so in one note.
#pragma once

#include <cstddef>
#include <string>

#include "apps/common/core/clip_count.h"

namespace trellin_app {

// Clips the alpha of `pixels` interleaved RGBA float pixels at `samples`
// (every fourth sample) into 0..1: finite values to the nearer end, NaN and
// -inf to 0, +inf to 1. Counts the alpha samples looked at and those
// clipped in `clip`'s alpha fields; colour is left alone.
void clip_alpha(float* samples, std::size_t pixels, ClipCount& clip);

// The note on `clip`'s alpha: "3 of 64 alpha samples lay outside 0..1
// (lowest -2, highest 3) and were clipped to it"; empty when none was.
std::string alpha_clip_note(const ClipCount& clip);

}  // namespace trellin_app
