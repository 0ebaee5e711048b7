// Where the time bar's track draws its marks: the keys (diamonds) and, after
// playback, the frames rendered and skipped. Marks that fall on the same
// column of the track are drawn once, so the track draws at most one mark
// of each kind per column however many keys or frames a shot has: Dear
// ImGui's draw lists hold at most 65,536 vertices with the renderer the
// viewer uses, and a project may hold any number of keys.
#pragma once

#include <cstddef>
#include <vector>

#include "apps/trellin-view/timeline.h"

namespace trellin_view {

// The columns a track is divided into at most: a track wider than this many
// pixels has columns of more than one pixel.
inline constexpr std::size_t max_track_columns = 2048;

// The x of the keys at `times` on a track from `x0`, `width` wide, showing
// the `frames` frames of a shot from frame `first` to frame `last` (frame
// index i in the middle of its slot): keys outside first..last are left
// out, and of the keys in one column only the first in `times` is kept.
// In order of x.
std::vector<float> key_marks(const std::vector<double>& times, double first, double last, std::size_t frames, float x0,
                             float width);

// A stretch of the track marked rendered or skipped.
struct PlaybackSpan {
    float x0 = 0.0f;
    float x1 = 0.0f;
    Timeline::Mark mark = Timeline::Mark::none;
};

// The playback marks of a track from `x0`, `width` wide (one mark per frame
// of the shot): each frame's slot less a pixel's gap, neighbours of the same
// mark that touch joined into one span, and a frame whose slot starts in a
// column a span has already taken left out. In order of x.
std::vector<PlaybackSpan> playback_spans(const std::vector<Timeline::Mark>& marks, float x0, float width);

}  // namespace trellin_view
