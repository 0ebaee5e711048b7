#include "apps/trellin-view/shot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include <OpenImageIO/imageio.h>

#include "apps/common/picture/image_io.h"
#include "apps/video/frame_input.h"

namespace trellin_view {

namespace {

// More frames than any shot has: a typing error, not a shot to open.
constexpr long long max_frames = 1000000;

std::size_t picture_bytes(const trellin_app::HostPicture& p)
{
    return p.data.size() * sizeof(std::uint16_t);
}

std::size_t frame_bytes(const ShotFrame& f)
{
    std::size_t bytes = picture_bytes(*f.picture);
    if (f.shown != f.picture) bytes += picture_bytes(*f.shown);
    if (f.colour) bytes += f.colour->alpha.size() * sizeof(float);
    return bytes;
}

// The FramesPerSecond a picture file carries (OpenEXR, some TIFF and DPX
// writers); 0 when it carries none or the file cannot be opened here (reading
// it later says why).
double picture_frame_rate(const std::string& path)
{
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        (void)OIIO::geterror();
        return 0.0;
    }
    const OIIO::ImageSpec& spec = in->spec();
    double rate = 0.0;
    if (const OIIO::ParamValue* p = spec.find_attribute("FramesPerSecond")) {
        if (p->type() == OIIO::TypeRational) {
            const int* r = static_cast<const int*>(p->data());
            if (r[1] > 0) rate = double(r[0]) / double(r[1]);
        } else if (p->type() == OIIO::TypeFloat) {
            rate = double(p->get_float());
        }
    }
    in->close();
    return rate;
}

}  // namespace

Shot::Shot(const std::string& input, const std::string& frames,
           std::shared_ptr<const trellin_app::PictureColour> colour)
    : pattern_(trellin_app::FramePattern::plain(input)), colour_(std::move(colour))
{
    std::optional<trellin_video::FrameInput> in;
    try {
        // Frames are read as the viewer moves through the shot, with the
        // processors otherwise idle.
        in.emplace(input, frames, "show", trellin_video::Decoding::alone);
    } catch (const trellin_video::FrameInputError& e) {
        throw ShotError(e.what());
    }
    if (in->ranged() && in->range().count() > max_frames)
        throw ShotError("--frames " + frames + ": " + std::to_string(in->range().count()) + " frames; at most " +
                        std::to_string(max_frames) + " in one shot");
    pattern_ = in->pattern();
    video_ = in->shared_reader();
    if (video_ && !in->ranged()) {
        for (long long f = 0; f < std::min(video_->frame_count(), max_frames); ++f) frames_.push_back(f);
    } else {
        frames_ = in->frames();
    }
    // Every frame is there before the window opens.
    if (const std::optional<long long> f = in->missing_frame())
        throw ShotError(path_for(*f) + ": no such file" + (numbered() ? " (frame " + std::to_string(*f) + ")" : ""));
    try {
        first_ = frame(frames_.front());
    } catch (const trellin_app::PictureError& e) {
        throw ShotError(e.what());
    } catch (const trellin_app::ColourError& e) {
        throw ShotError(e.what());
    } catch (const trellin_video::VideoError& e) {
        throw ShotError(e.what());
    }
    if (video_) {
        const trellin_video::Rational r = video_->info().frame_rate;
        if (r.num > 0 && r.den > 0) frame_rate_ = double(r.num) / double(r.den);
    } else {
        frame_rate_ = picture_frame_rate(path_for(frames_.front()));
    }
    if (!std::isfinite(frame_rate_) || frame_rate_ < 0.0) frame_rate_ = 0.0;
}

std::string Shot::key_for(long long number) const
{
    return video_ ? path_for(number) + "\n" + std::to_string(number) : path_for(number);
}

ShotFrame Shot::read(long long number) const
{
    ShotFrame f;
    f.path = path_for(number);
    f.key = key_for(number);
    trellin_app::PictureSource source;
    trellin_app::HostPicture read;
    if (video_) {
        std::lock_guard<std::mutex> hold(video_lock_);
        video_->read(number, read);
        source = video_->source();
    } else {
        read = trellin_app::read_picture(f.path, &source);
    }
    if (!colour_) {
        f.picture = std::make_shared<const trellin_app::HostPicture>(std::move(read));
        f.shown = f.picture;
        return f;
    }
    const std::string& path = f.path;
    trellin_app::NodeFrame converted = colour_->to_node(std::move(read), std::move(source), path);
    auto picture = std::make_shared<const trellin_app::HostPicture>(std::move(converted.picture));
    converted.picture = trellin_app::HostPicture();
    trellin_app::HostPicture shown = colour_->for_display(*picture, converted, &converted.parts);
    f.shown =
        shown.data == picture->data ? picture : std::make_shared<const trellin_app::HostPicture>(std::move(shown));
    f.picture = std::move(picture);
    f.colour = std::make_shared<const trellin_app::NodeFrame>(std::move(converted));
    return f;
}

ShotFrame Shot::frame(long long number) const
{
    const std::string key = key_for(number);
    {
        std::unique_lock<std::mutex> hold(lock_);
        // A frame being read (ahead, or for another caller) is waited for
        // rather than read twice.
        ahead_changed_.wait(hold, [&] { return reading_.count(key) == 0; });
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (it->key != key) continue;
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front();
        }
        // Read here and now: a read ahead of it not yet started is dropped.
        if (ahead_wanted_ && key_for(*ahead_wanted_) == key) ahead_wanted_.reset();
        reading_.insert(key);
    }
    // Read without the lock: another thread may read another frame meanwhile.
    std::optional<ShotFrame> f;
    try {
        f = read(number);
    } catch (...) {
        std::lock_guard<std::mutex> hold(lock_);
        reading_.erase(key);
        ahead_changed_.notify_all();
        throw;
    }
    std::lock_guard<std::mutex> hold(lock_);
    reading_.erase(key);
    keep(*f);
    ahead_changed_.notify_all();
    return *f;
}

void Shot::keep(const ShotFrame& f) const
{
    if (f.colour && counted_.insert(f.key).second) clipped_.merge(f.colour->clipped);
    cache_.push_front(f);
    trim_cache(f.key);
}

void Shot::trim_cache(const std::string& key) const
{
    std::size_t bytes = 0;
    std::size_t kept = 0;
    for (auto it = cache_.begin(); it != cache_.end();) {
        bytes += frame_bytes(*it);
        ++kept;
        // The same file read twice at once: keep the first copy only.
        const bool duplicate = it != cache_.begin() && it->key == key;
        if (duplicate || (kept > 2 && bytes > cache_budget)) {
            bytes -= frame_bytes(*it);
            --kept;
            it = cache_.erase(it);
        } else {
            ++it;
        }
    }
}

Shot::~Shot()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        ahead_stop_ = true;
    }
    ahead_changed_.notify_all();
    if (ahead_thread_.joinable()) ahead_thread_.join();
}

bool Shot::cached(const std::string& key) const
{
    for (const ShotFrame& f : cache_)
        if (f.key == key) return true;
    return false;
}

std::optional<long long> Shot::next_frame(long long number) const
{
    const auto at = std::find(frames_.begin(), frames_.end(), number);
    if (at == frames_.end() || std::next(at) == frames_.end()) return std::nullopt;
    return *std::next(at);
}

void Shot::read_ahead(long long number) const
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        const std::string key = key_for(number);
        if (ahead_stop_ || reading_.count(key) != 0 || cached(key)) return;
        ahead_wanted_ = number;
        if (!ahead_thread_.joinable()) ahead_thread_ = std::thread([this] { read_ahead_loop(); });
    }
    ahead_changed_.notify_all();
}

void Shot::read_ahead_loop() const
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        ahead_changed_.wait(hold, [this] { return ahead_stop_ || ahead_wanted_; });
        if (ahead_stop_) return;
        const long long number = *ahead_wanted_;
        ahead_wanted_.reset();
        const std::string key = key_for(number);
        if (reading_.count(key) != 0 || cached(key)) continue;
        reading_.insert(key);
        hold.unlock();
        std::optional<ShotFrame> read;
        try {
            read = this->read(number);
        } catch (...) {
            // frame() reads it again and reports why it cannot.
        }
        hold.lock();
        reading_.erase(key);
        if (read) keep(*read);
        ahead_changed_.notify_all();
    }
}

trellin_app::ClipCount Shot::clipped() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return clipped_;
}

}  // namespace trellin_view
