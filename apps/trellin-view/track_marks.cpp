#include "apps/trellin-view/track_marks.h"

#include <algorithm>
#include <cmath>

namespace trellin_view {

namespace {

// The width of one column of a track `width` wide.
double column_width(float width)
{
    return std::max(1.0, double(width) / double(max_track_columns));
}

// The column of `x` on a track from `x0`, `width` wide.
std::size_t column_of(double x, float x0, float width)
{
    const double columns = std::ceil(double(width) / column_width(width));
    const double c = std::floor((x - double(x0)) / column_width(width));
    return std::size_t(std::clamp(c, 0.0, std::max(0.0, columns - 1.0)));
}

}  // namespace

std::vector<float> key_marks(const std::vector<double>& times, double first, double last, std::size_t frames, float x0,
                             float width)
{
    std::vector<float> marks;
    if (frames == 0 || !(width > 0.0f)) return marks;
    std::vector<float> taken(std::size_t(std::ceil(double(width) / column_width(width))) + 1, NAN);
    for (const double time : times) {
        if (!(time >= first && time <= last)) continue;
        const double at = last > first ? (time - first) / (last - first) * double(frames - 1) : 0.0;
        const double x = double(x0) + (at + 0.5) * double(width) / double(frames);
        float& column = taken[column_of(x, x0, width)];
        if (std::isnan(column)) column = static_cast<float>(x);
    }
    for (const float x : taken)
        if (!std::isnan(x)) marks.push_back(x);
    return marks;
}

std::vector<PlaybackSpan> playback_spans(const std::vector<Timeline::Mark>& marks, float x0, float width)
{
    std::vector<PlaybackSpan> spans;
    if (marks.empty() || !(width > 0.0f)) return spans;
    const float slot = width / static_cast<float>(marks.size());
    std::size_t last_column = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        if (marks[i] == Timeline::Mark::none) continue;
        const float x = x0 + slot * static_cast<float>(i);
        const PlaybackSpan span{x, x + std::max(1.0f, slot - 1.0f), marks[i]};
        const std::size_t column = column_of(x, x0, width);
        if (!spans.empty()) {
            PlaybackSpan& before = spans.back();
            if (before.mark == span.mark && span.x0 <= before.x1) {
                before.x1 = std::max(before.x1, span.x1);
                last_column = column;
                continue;
            }
            if (column == last_column) continue;
        }
        spans.push_back(span);
        last_column = column;
    }
    return spans;
}

}  // namespace trellin_view
