// The pictures a viewer shows: one still, a numbered sequence of picture
// files or a video file, and the frames of the shot.
//
// A shot is named as `trellin render` names its input: a picture file, a
// video file (known by its content), or a numbered name ("in.%04d.png",
// "in.####.exr") with a frame range ("10-58", "0-96x2"). A numbered name
// needs a range; a still without one is frame 0 alone, and with one it is
// the same picture at every frame of the range, so a look can be keyed over
// time on a single picture. A video's frames are numbered from 0 in
// presentation order; without a range the shot is all of them.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/picture/picture_colour.h"
#include "apps/video/video_reader.h"

namespace trellin_view {

// One frame of the shot, ready for the node.
struct ShotFrame {
    std::string path;  // its file
    // What the node renders: in the working space with colour handling,
    // else as read.
    std::shared_ptr<const trellin_app::HostPicture> picture;
    // The same as the display shows it (the same pointer when that changes
    // nothing).
    std::shared_ptr<const trellin_app::HostPicture> shown;
    // Its spaces and alpha for its export (its picture is left empty); null
    // without colour handling.
    std::shared_ptr<const trellin_app::NodeFrame> colour;
    // What the shot's cache knows it by: its file, and a video's frame number.
    std::string key;
};

// A shot that cannot be shown. The message names the file or the option.
class ShotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Shot {
public:
    // Checks the name and the range, that every frame's file exists, and
    // reads the first frame. `frames` is empty when no range was given.
    // `colour`: how frames go into the node and out to the display; null:
    // as read. Throws ShotError.
    Shot(const std::string& input, const std::string& frames,
         std::shared_ptr<const trellin_app::PictureColour> colour = nullptr);

    // The frames of the shot, in order (at least one).
    const std::vector<long long>& frames() const { return frames_; }
    // The name numbers its frames (a sequence rather than a still).
    bool numbered() const { return pattern_.numbered(); }
    // The shot is a video file.
    bool video() const { return video_ != nullptr; }
    // The rate the input says its frames play at, in frames a second: a
    // video stream's rate, or the FramesPerSecond a picture file (the first
    // of a sequence) carries; 0 when it says none.
    double frame_rate() const { return frame_rate_; }
    // The file of `frame` (a video's own file for all its frames).
    std::string path_for(long long frame) const { return pattern_.path_for(frame); }

    // The colour handling; null: none.
    const std::shared_ptr<const trellin_app::PictureColour>& colour() const { return colour_; }

    // The first frame: its size is the shot's size, the one the viewer
    // shows and the handles measure in.
    const ShotFrame& first() const { return first_; }

    // Frame `number` of the shot: read (and converted) on first use and kept while
    // the cache's budget lasts (the least recently used go first). Safe to
    // call from any thread. Throws trellin_app::PictureError when the file
    // cannot be read, trellin_app::ColourError when it cannot be converted.
    ShotFrame frame(long long number) const;

    // Reads frame `number` into the cache on a thread of the shot's own,
    // unless it is kept or being read, and returns at once: while one frame
    // renders, the next is read beside it. A later call replaces a frame
    // not yet started. A frame that cannot be read is left to frame() to
    // report.
    void read_ahead(long long number) const;
    // The frame after `number` in the shot's order; none after the last.
    std::optional<long long> next_frame(long long number) const;

    ~Shot();
    Shot(const Shot&) = delete;
    Shot& operator=(const Shot&) = delete;

    // Colour samples the node's range clipped in the frames read so far
    // (each frame counted once).
    trellin_app::ClipCount clipped() const;

    // Bytes of pictures the cache keeps at most (always at least two).
    static constexpr std::size_t cache_budget = std::size_t(512) << 20;

private:
    trellin_app::FramePattern pattern_;
    std::vector<long long> frames_;
    std::shared_ptr<const trellin_app::PictureColour> colour_;
    ShotFrame first_;
    double frame_rate_ = 0.0;

    std::string key_for(long long number) const;
    ShotFrame read(long long number) const;

    // A video's frames, read one at a time.
    std::shared_ptr<trellin_video::VideoReader> video_;
    mutable std::mutex video_lock_;

    mutable std::mutex lock_;
    // Most recently used first.
    mutable std::list<ShotFrame> cache_;
    mutable trellin_app::ClipCount clipped_;
    mutable std::set<std::string> counted_;  // frames (keys) whose clipping `clipped_` holds

    // Reading ahead: the frame asked for next, the frames (keys) being read
    // now by anyone, and the thread that reads ahead (started on first use).
    void read_ahead_loop() const;
    bool cached(const std::string& key) const;      // with lock_ held
    void trim_cache(const std::string& key) const;  // with lock_ held: to the budget, `key` first
    void keep(const ShotFrame& f) const;            // with lock_ held: counted and cached first
    mutable std::condition_variable ahead_changed_;
    mutable std::optional<long long> ahead_wanted_;
    mutable std::set<std::string> reading_;
    mutable bool ahead_stop_ = false;
    mutable std::thread ahead_thread_;
};

}  // namespace trellin_view
