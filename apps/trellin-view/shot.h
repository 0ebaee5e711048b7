// The pictures a viewer shows: one still, or a numbered sequence of picture
// files, and the frames of the shot.
//
// A shot is named as `trellin render` names its input: a picture file, or a
// numbered name ("in.%04d.png", "in.####.exr") with a frame range
// ("10-58", "0-96x2"). A numbered name needs a range; a still without one is
// frame 0 alone, and with one it is the same picture at every frame of the
// range, so a look can be keyed over time on a single picture.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apps/common/frame_sequence.h"
#include "apps/common/host_picture.h"

namespace trellin_view {

// A shot that cannot be shown. The message names the file or the option.
class ShotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Shot {
public:
    // Checks the name and the range, that every frame's file exists, and
    // reads the first frame. `frames` is empty when no range was given.
    // Throws ShotError.
    Shot(const std::string& input, const std::string& frames);

    // The frames of the shot, in order (at least one).
    const std::vector<long long>& frames() const { return frames_; }
    // The name numbers its frames (a sequence rather than a still).
    bool numbered() const { return pattern_.numbered(); }
    // The file of `frame`.
    std::string path_for(long long frame) const { return pattern_.path_for(frame); }

    // The first frame's picture: its size is the shot's size, the one the
    // viewer shows and the handles measure in.
    const std::shared_ptr<const trellin_app::HostPicture>& first() const { return first_; }

    // The picture of `frame`: read on first use and kept while the cache's
    // budget lasts (the least recently used go first). Safe to call from any
    // thread. Throws trellin_app::PictureError when the file cannot be read.
    std::shared_ptr<const trellin_app::HostPicture> picture(long long frame) const;

    // Bytes of pictures the cache keeps at most (always at least two).
    static constexpr std::size_t cache_budget = std::size_t(512) << 20;

private:
    trellin_app::FramePattern pattern_;
    std::vector<long long> frames_;
    std::shared_ptr<const trellin_app::HostPicture> first_;

    mutable std::mutex lock_;
    // Most recently used first: file name and picture.
    mutable std::list<std::pair<std::string, std::shared_ptr<const trellin_app::HostPicture>>> cache_;
};

}  // namespace trellin_view
