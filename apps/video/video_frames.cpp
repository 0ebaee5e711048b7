#include "apps/video/video_frames.h"

#include <utility>

#include "apps/common/core/failure.h"
#include "apps/common/picture/colour_space.h"
#include "apps/video/video_colour.h"
#include "apps/video/video_error.h"

using namespace trellin_app;

namespace trellin_video {

VideoFileSource::VideoFileSource(const PictureColour& colour, VideoReader& reader, std::string path)
    : colour_(colour), reader_(reader), path_(std::move(path)), source_(reader.source())
{
}

std::optional<NodeFrame> VideoFileSource::read(long long number)
{
    const std::string note = " (frame " + std::to_string(number) + ")";
    try {
        // The frame goes into the storage of one the node has rendered.
        HostPicture picture = spare_picture();
        reader_.read(number, picture);
        return colour_.to_node(std::move(picture), source_, path_);
    } catch (const VideoError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const PictureError& e) {
        throw Failure{exit_usage, e.what() + note};
    } catch (const ColourError& e) {
        throw Failure{exit_usage, e.what() + note};
    }
}

std::string VideoFileSource::refusal(long long number) const
{
    return path_ + ": the effect refused frame " + std::to_string(number) + " (see its warning above)";
}

VideoOutputShape video_output_shape(const HostPicture& frame, const std::string& space, const std::string& input,
                                    VideoReader* reader, const FrameRange& range, Rational picture_rate)
{
    VideoOutputShape shape;
    VideoFormat& format = shape.format;
    format.width = frame.width;
    format.height = frame.height;
    format.samples = frame.samples;
    format.pixel_aspect = frame.pixel_aspect;
    format.space = space;
    if (reader) {
        const VideoStreamInfo& v = reader->info();
        format.frame_rate = v.frame_rate;
        format.time_base = v.time_base;
        format.source_tags = v.tags;
        shape.streams = StreamSource{input,
                                     v.stream_index,
                                     v.time_base,
                                     reader->timestamp(range.first),
                                     reader->timestamp(range.last) + reader->duration(range.last),
                                     range.first == 0 && range.last == reader->frame_count() - 1 && range.step == 1,
                                     range.first};
    } else {
        format.frame_rate = picture_rate;
        format.time_base = {picture_rate.den, picture_rate.num};
    }
    return shape;
}

std::string video_tag_space(const RenderOptions& spaces, const VideoReader* reader, const std::string& space)
{
    if (reader && spaces.colorspace_in.empty() && spaces.colorspace_out.empty())
        return space_of_tags(reader->info().tags);
    return space;
}

VideoFileSink::VideoFileSink(const PictureColour& colour, std::string path, VideoOutputPlan plan, VideoOrigin origin)
    : colour_(colour), path_(std::move(path)), plan_(std::move(plan)), origin_(std::move(origin))
{
}

VideoFileSink::~VideoFileSink() = default;

FrameWritten VideoFileSink::write(long long number, HostPicture result, const NodeFrame& frame, const SplitParts& parts)
{
    FrameWritten w;
    try {
        const std::string space =
            colour_.options().colorspace_out.empty() ? frame.input_space : colour_.options().colorspace_out;
        if (!writer_) {
            VideoOutputShape shape =
                video_output_shape(result, space, origin_.path, origin_.reader, origin_.range, origin_.picture_rate);
            // Written back in the space it was read in, a video keeps its own
            // tags: an untagged one (read in the pictures' sRGB convention,
            // where players take it for BT.709) stays untagged, and one whose
            // space the colour spaces at hand lack (PQ, HLG, BT.2020 without a
            // config holding them; its samples then pass as they are) keeps
            // the tags it came with.
            shape.format.space = video_tag_space(colour_.options(), origin_.reader, space);
            std::vector<std::string> notes;
            if (!shape.format.space.empty() && !same_name(shape.format.space, space))
                notes.push_back(path_ + ": keeps the colour tags of " + origin_.path + " (" + shape.format.space +
                                "): its samples passed through as they are");
            writer_ = std::make_unique<VideoWriter>(path_, plan_, shape.format,
                                                    shape.streams ? &*shape.streams : nullptr, notes);
            if (result.samples == 4 && !plan_.alpha)
                notes.push_back(path_ + ": " + plan_.encoder + " " + plan_.pix_fmt +
                                " holds no alpha; colour only was written");
            std::lock_guard<std::mutex> hold(notes_lock_);
            notes_.insert(notes_.end(), notes.begin(), notes.end());
        }
        OutputFrame out = colour_.from_node(std::move(result), frame, space, OutputForm{"video", false, false}, &parts);
        w.clipped = out.clipped;
        writer_->write(out.picture, origin_.reader ? origin_.reader->timestamp(number) : picture_index_++);
        w.spare = std::move(out.picture);
    } catch (const VideoError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const PictureError& e) {
        throw Failure{exit_failed, e.what()};
    } catch (const ColourError& e) {
        throw Failure{exit_failed, e.what()};
    }
    return w;
}

std::vector<std::string> VideoFileSink::take_notes()
{
    std::lock_guard<std::mutex> hold(notes_lock_);
    return std::exchange(notes_, {});
}

void VideoFileSink::finish()
{
    if (!writer_) return;
    try {
        std::vector<std::string> notes = writer_->finish();
        std::lock_guard<std::mutex> hold(notes_lock_);
        notes_.insert(notes_.end(), notes.begin(), notes.end());
    } catch (const VideoError& e) {
        throw Failure{exit_failed, e.what()};
    }
}

std::string VideoFileSink::streams_text() const
{
    return writer_ ? writer_->streams_text() : std::string();
}

}  // namespace trellin_video
