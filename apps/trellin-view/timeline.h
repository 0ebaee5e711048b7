// The viewer's place in its shot: the current frame, stepping through the
// shot's frames, and playback on a clock.
//
// Playback runs at a frame rate from the frame it starts on and loops at the
// end of the shot. It shows what the renders allow: the viewer asks for the
// frame the clock has reached whenever its last frame has been rendered, and
// the frames the clock passed meanwhile are skipped. Each frame played is
// marked rendered or skipped, so the time bar can show which were which.
#pragma once

#include <cstddef>
#include <vector>

namespace trellin_view {

// Frames a second played when neither the user nor the input names a rate.
constexpr double default_playback_rate = 24.0;

// The rate playback runs at: `asked` (--fps) when above 0, else the input's
// own `input_rate` when it has a usable one (0.1 to 1000), else the default.
double playback_rate(double asked, double input_rate);

class Timeline {
public:
    enum class Mark : unsigned char { none, rendered, skipped };

    // `frames` in order, at least one; `fps` the playback rate (above 0).
    Timeline(std::vector<long long> frames, double fps);

    const std::vector<long long>& frames() const { return frames_; }
    std::size_t index() const { return index_; }
    long long frame() const { return frames_[index_]; }
    double fps() const { return fps_; }

    // Moves by `delta` frames of the shot, stopping at its ends. Each returns
    // whether the current frame changed.
    bool step(long long delta);
    bool home();
    bool end();
    bool go_to_index(std::size_t index);

    // Playback, with `now` in seconds on any steady clock.
    void play(double now);
    void stop() { playing_ = false; }
    bool playing() const { return playing_; }
    // The index the clock has reached at `now` (the current one when not
    // playing).
    std::size_t play_index(double now) const;
    // The frame at `index` was rendered while playing: it is marked
    // rendered, and the frames the clock passed since the last one rendered
    // are marked skipped.
    void mark_rendered(std::size_t index);
    // One mark per frame of the shot; all none until playback starts.
    const std::vector<Mark>& marks() const { return marks_; }

private:
    std::vector<long long> frames_;
    double fps_;
    std::size_t index_ = 0;
    bool playing_ = false;
    double start_time_ = 0.0;
    std::size_t start_index_ = 0;
    std::size_t last_rendered_ = 0;
    bool rendered_any_ = false;
    std::vector<Mark> marks_;
};

}  // namespace trellin_view
