#include "apps/trellin/farm/farm_join.h"

#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <optional>

#include "apps/trellin/commands.h"
#include "apps/trellin/farm/farm_script.h"
#include "apps/trellin/progress.h"
#include "apps/trellin/rendering/video_options.h"
#include "apps/video/video_frames.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

namespace fs = std::filesystem;
using namespace trellin_app;
using namespace trellin_video;

namespace trellin_cli {

namespace {

// The frames of the parts, in order: each part is opened when its first frame
// is wanted and must hold its chunk's frames, no more and no fewer.
class PartFrames {
public:
    explicit PartFrames(const JoinRequest& rq) : rq_(rq), tasks_(chunk_count(rq.range, rq.chunk)) {}

    // Reads the next frame into `picture` and returns its number in the
    // range; nothing after the last. Throws Failure or VideoError naming the part.
    std::optional<long long> next(HostPicture& picture)
    {
        if (part_ && index_ == frames_.count()) {
            part_.reset();
            ++k_;
        }
        if (!part_) {
            if (k_ >= tasks_) return std::nullopt;
            frames_ = chunk_range(rq_.range, rq_.chunk, k_);
            const std::string path = part_path(rq_.parts, k_);
            part_ = std::make_unique<VideoReader>(path);
            index_ = 0;
            if (part_->frame_count() != frames_.count())
                throw Failure{exit_failed, path + ": holds " + std::to_string(part_->frame_count()) + " frames where " +
                                               std::to_string(frames_.count()) + " belong (frames " +
                                               range_text(frames_) + ")"};
        }
        part_->read(index_, picture);
        return frames_.first + index_++ * frames_.step;
    }

private:
    const JoinRequest& rq_;
    const long long tasks_;
    long long k_ = 0;  // the part open
    FrameRange frames_;
    long long index_ = 0;  // the next frame of the part
    std::unique_ptr<VideoReader> part_;
};

}  // namespace

void join_parts(const JoinRequest& rq)
{
    const FrameRange& range = rq.range;
    std::unique_ptr<VideoReader> reader;  // IN, for its timestamps and streams
    if (!numbered_name(rq.input)) {
        try {
            reader = std::make_unique<VideoReader>(rq.input);
        } catch (const VideoError& e) {
            throw Failure{exit_usage, e.what()};
        }
        if (range.last >= reader->frame_count())
            throw Failure{exit_usage, rq.input + ": --frames " + range_text(range) +
                                          " reaches past the end: its last frame is " +
                                          std::to_string(reader->frame_count() - 1)};
    }
    const Rational picture_rate = parse_rate(rq.rate);

    // Every part is there before anything is written.
    const long long tasks = chunk_count(range, rq.chunk);
    for (long long k = 0; k < tasks; ++k) {
        const std::string part = part_path(rq.parts, k);
        std::error_code ec;
        if (!fs::is_regular_file(part, ec))
            throw Failure{exit_failed, part + ": the part of frames " + range_text(chunk_range(range, rq.chunk, k)) +
                                           " is missing (see its task's log)"};
    }

    Progress progress(Verbosity::verbose, range.count());
    std::unique_ptr<VideoWriter> writer;
    std::int64_t picture_index = 0;  // timestamps of a video made of pictures
    // The next frame is decoded while this one is encoded.
    PartFrames parts(rq);
    HostPicture pictures[2];
    int slot = 0;
    auto read_ahead = [&parts, &pictures](int into) {
        return std::async(std::launch::async, [&parts, &pictures, into] { return parts.next(pictures[into]); });
    };
    std::future<std::optional<long long>> reading = read_ahead(slot);
    try {
        while (const std::optional<long long> n = reading.get()) {
            const HostPicture& picture = pictures[slot];
            slot = 1 - slot;
            reading = read_ahead(slot);
            if (!writer) {
                // The video as `trellin render` sets it up for these frames.
                VideoOutputPlan plan;
                try {
                    plan = plan_video_output(rq.output, rq.codec, reader ? reader->info().alpha : picture.samples == 4);
                } catch (const VideoError& e) {
                    throw Failure{exit_usage, e.what()};
                }
                const VideoOutputShape shape =
                    video_output_shape(picture, rq.space, rq.input, reader.get(), range, picture_rate);
                std::vector<std::string> notes;
                writer = std::make_unique<VideoWriter>(rq.output, plan, shape.format,
                                                       shape.streams ? &*shape.streams : nullptr, notes);
                progress.finish();
                for (const std::string& note : notes) std::cerr << "trellin: note: " << note << "\n";
                if (picture.samples == 4 && !plan.alpha)
                    std::cerr << "trellin: note: " << rq.output << ": " << plan.encoder << " " << plan.pix_fmt
                              << " holds no alpha; colour only was written\n";
            }
            writer->write(picture, reader ? reader->timestamp(*n) : picture_index++);
            progress.rendered("frame " + std::to_string(*n) + " -> " + rq.output);
        }
    } catch (const VideoError& e) {
        progress.finish();
        throw Failure{exit_failed, e.what()};
    }
    std::vector<std::string> finish_notes;
    try {
        finish_notes = writer->finish();
    } catch (const VideoError& e) {
        progress.finish();
        throw Failure{exit_failed, e.what()};
    }
    progress.finish();
    for (const std::string& note : finish_notes) std::cerr << "trellin: note: " << note << "\n";

    // The video is in place: the parts have served.
    for (long long k = 0; k < tasks; ++k) {
        std::error_code ignored;
        fs::remove(part_path(rq.parts, k), ignored);
    }
    std::error_code ec;
    fs::remove(rq.parts, ec);
    if (ec) std::cerr << "trellin: note: " << rq.parts << ": not removed (" << ec.message() << ")\n";
    std::cerr << "trellin: farm: " << range.count() << " frames from " << tasks << " part" << (tasks == 1 ? "" : "s")
              << joined_into << rq.output << "\n";
}

}  // namespace trellin_cli
