#include "apps/video/frame_input.h"

#include <filesystem>
#include <system_error>

#include "apps/common/picture/picture_frames.h"
#include "apps/video/video_error.h"
#include "apps/video/video_frames.h"

using namespace trellin_app;

namespace trellin_video {

namespace {

// A name whose '%' or '#' is no frame pattern is one file's name.
FramePattern pattern_of(const std::string& input)
{
    try {
        return FramePattern(input);
    } catch (const SequenceError&) {
        return FramePattern::plain(input);
    }
}

}  // namespace

FrameInput::FrameInput(const std::string& input, const std::string& frames, const std::string& verb, Decoding decoding)
    : name_(input), pattern_(pattern_of(input)), ranged_(!frames.empty())
{
    if (!pattern_.numbered() && is_video_file(input)) {
        try {
            reader_ = std::make_shared<VideoReader>(input, decoding);
        } catch (const VideoError& e) {
            throw FrameInputError(e.what());
        }
    } else if (pattern_.numbered() && !ranged_) {
        throw FrameInputError(input + ": IN names a numbered sequence; give the frames to " + verb +
                              " with --frames FIRST-LAST");
    }
    try {
        if (ranged_) range_ = parse_frame_range(frames);
    } catch (const SequenceError& e) {
        throw FrameInputError(std::string("--frames: ") + e.what());
    }
    if (reader_) {
        const long long count = reader_->frame_count();
        if (count <= 0) throw FrameInputError(input + ": the video has no frames");
        if (!ranged_) range_ = {0, count - 1, 1};
        if (range_.last >= count)
            throw FrameInputError(input + ": --frames " + frames + " reaches past the end of its frames 0 to " +
                                  std::to_string(count - 1) + ": its last frame is " + std::to_string(count - 1));
    }
}

std::optional<long long> FrameInput::missing_frame() const
{
    if (reader_) return std::nullopt;
    std::error_code ec;
    for (long long f = range_.first; f <= range_.last; f += range_.step) {
        if (!std::filesystem::exists(path_for(f), ec)) return f;
        if (!numbered()) break;
    }
    return std::nullopt;
}

std::unique_ptr<FrameSource> FrameInput::source(const PictureColour& colour, bool frame_notes) const
{
    if (reader_) return std::make_unique<VideoFileSource>(colour, *reader_, name_);
    return std::make_unique<PictureFileSource>(colour, pattern_, frame_notes || numbered());
}

}  // namespace trellin_video
