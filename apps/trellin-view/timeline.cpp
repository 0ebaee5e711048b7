#include "apps/trellin-view/timeline.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace trellin_view {

double playback_rate(double asked, double input_rate)
{
    if (asked > 0.0) return asked;
    if (std::isfinite(input_rate) && input_rate >= 0.1 && input_rate <= 1000.0) return input_rate;
    return default_playback_rate;
}

Timeline::Timeline(std::vector<long long> frames, double fps)
    : frames_(std::move(frames)), fps_(fps > 0.0 ? fps : default_playback_rate), marks_(frames_.size(), Mark::none)
{
    if (frames_.empty()) {
        frames_.push_back(0);
        marks_.push_back(Mark::none);
    }
}

bool Timeline::step(long long delta)
{
    const long long last = static_cast<long long>(frames_.size()) - 1;
    const long long to = std::clamp(static_cast<long long>(index_) + delta, 0LL, last);
    return go_to_index(static_cast<std::size_t>(to));
}

bool Timeline::home()
{
    return go_to_index(0);
}

bool Timeline::end()
{
    return go_to_index(frames_.size() - 1);
}

bool Timeline::go_to_index(std::size_t index)
{
    index = std::min(index, frames_.size() - 1);
    if (index == index_) return false;
    index_ = index;
    return true;
}

void Timeline::play(double now)
{
    playing_ = true;
    start_time_ = now;
    start_index_ = index_;
    rendered_any_ = false;
    std::fill(marks_.begin(), marks_.end(), Mark::none);
}

std::size_t Timeline::play_index(double now) const
{
    if (!playing_) return index_;
    const double elapsed = std::max(0.0, now - start_time_);
    const double passed = std::floor(elapsed * fps_);
    const std::size_t n = frames_.size();
    return (start_index_ + static_cast<std::size_t>(std::fmod(passed, double(n)))) % n;
}

void Timeline::mark_rendered(std::size_t index)
{
    const std::size_t n = frames_.size();
    if (index >= n) return;
    // Frames passed since the last one rendered (or since playback started),
    // walking forwards through the loop.
    std::size_t i = rendered_any_ ? (last_rendered_ + 1) % n : start_index_;
    if (!rendered_any_ || index != last_rendered_) {
        for (std::size_t guard = 0; i != index && guard < n; ++guard, i = (i + 1) % n) marks_[i] = Mark::skipped;
    }
    marks_[index] = Mark::rendered;
    last_rendered_ = index;
    rendered_any_ = true;
}

}  // namespace trellin_view
