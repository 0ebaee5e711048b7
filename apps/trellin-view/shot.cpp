#include "apps/trellin-view/shot.h"

#include <filesystem>
#include <system_error>

#include "apps/common/image_io.h"

namespace trellin_view {

namespace {

// More frames than any shot has: a typing error, not a shot to open.
constexpr long long max_frames = 1000000;

std::size_t picture_bytes(const trellin_app::HostPicture& p) { return p.data.size() * sizeof(std::uint16_t); }

trellin_app::FramePattern pattern_of(const std::string& input)
{
    try {
        return trellin_app::FramePattern(input);
    } catch (const trellin_app::SequenceError& e) {
        throw ShotError(e.what());
    }
}

}  // namespace

Shot::Shot(const std::string& input, const std::string& frames) : pattern_(pattern_of(input))
{
    if (frames.empty()) {
        if (pattern_.numbered())
            throw ShotError(input + ": IN names a numbered sequence; give the frames to show with --frames "
                                    "FIRST-LAST");
        frames_.push_back(0);
    } else {
        trellin_app::FrameRange range;
        try {
            range = trellin_app::parse_frame_range(frames);
        } catch (const trellin_app::SequenceError& e) {
            throw ShotError(std::string("--frames: ") + e.what());
        }
        if (range.count() > max_frames)
            throw ShotError("--frames " + frames + ": " + std::to_string(range.count()) + " frames; at most " +
                            std::to_string(max_frames) + " in one shot");
        frames_ = range.frames();
    }

    // Every frame is there before the window opens.
    std::error_code ec;
    for (long long f : frames_) {
        const std::string path = path_for(f);
        if (!std::filesystem::exists(path, ec))
            throw ShotError(path + ": no such file" + (numbered() ? " (frame " + std::to_string(f) + ")" : ""));
        if (!numbered()) break;
    }
    try {
        first_ = picture(frames_.front());
    } catch (const trellin_app::PictureError& e) {
        throw ShotError(e.what());
    }
}

std::shared_ptr<const trellin_app::HostPicture> Shot::picture(long long frame) const
{
    const std::string path = path_for(frame);
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (it->first != path) continue;
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().second;
        }
    }
    // Read without the lock: another thread may read another frame meanwhile.
    auto picture = std::make_shared<const trellin_app::HostPicture>(trellin_app::read_picture(path));

    std::lock_guard<std::mutex> hold(lock_);
    cache_.emplace_front(path, picture);
    std::size_t bytes = 0;
    std::size_t kept = 0;
    for (auto it = cache_.begin(); it != cache_.end();) {
        bytes += picture_bytes(*it->second);
        ++kept;
        // The same file read twice at once: keep the first copy only.
        const bool duplicate = it != cache_.begin() && it->first == path;
        if (duplicate || (kept > 2 && bytes > cache_budget)) {
            bytes -= picture_bytes(*it->second);
            --kept;
            it = cache_.erase(it);
        } else {
            ++it;
        }
    }
    return picture;
}

}  // namespace trellin_view
