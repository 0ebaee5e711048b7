#include "apps/trellin/farm_join.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "apps/trellin/commands.h"
#include "apps/trellin/farm_script.h"
#include "apps/trellin/progress.h"
#include "apps/trellin/render_video.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

namespace fs = std::filesystem;
using namespace trellin_app;
using namespace trellin_video;

namespace trellin_cli {

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
    HostPicture picture;
    std::int64_t picture_index = 0;  // timestamps of a video made of pictures
    for (long long k = 0; k < tasks; ++k) {
        const FrameRange frames = chunk_range(range, rq.chunk, k);
        const std::string part = part_path(rq.parts, k);
        try {
            VideoReader in(part);
            if (in.frame_count() != frames.count())
                throw Failure{exit_failed, part + ": holds " + std::to_string(in.frame_count()) + " frames where " +
                                               std::to_string(frames.count()) + " belong (frames " +
                                               range_text(frames) + ")"};
            long long i = 0;
            for (const long long n : frames.frames()) {
                in.read(i++, picture);
                if (!writer) {
                    // The video as `trellin render` sets it up for these frames.
                    VideoOutputPlan plan;
                    try {
                        plan = plan_video_output(rq.output, rq.codec,
                                                 reader ? reader->info().alpha : picture.samples == 4);
                    } catch (const VideoError& e) {
                        throw Failure{exit_usage, e.what()};
                    }
                    VideoFormat format;
                    format.width = picture.width;
                    format.height = picture.height;
                    format.samples = picture.samples;
                    format.pixel_aspect = picture.pixel_aspect;
                    format.space = rq.space;
                    std::optional<StreamSource> streams;
                    if (reader) {
                        const VideoStreamInfo& v = reader->info();
                        format.frame_rate = v.frame_rate;
                        format.time_base = v.time_base;
                        format.source_tags = v.tags;
                        streams =
                            StreamSource{rq.input,
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
                    std::vector<std::string> notes;
                    writer =
                        std::make_unique<VideoWriter>(rq.output, plan, format, streams ? &*streams : nullptr, notes);
                    progress.finish();
                    for (const std::string& note : notes) std::cerr << "trellin: note: " << note << "\n";
                    if (picture.samples == 4 && !plan.alpha)
                        std::cerr << "trellin: note: " << rq.output << ": " << plan.encoder << " " << plan.pix_fmt
                                  << " holds no alpha; colour only was written\n";
                }
                writer->write(picture, reader ? reader->timestamp(n) : picture_index++);
                progress.rendered("frame " + std::to_string(n) + " -> " + rq.output);
            }
        } catch (const VideoError& e) {
            progress.finish();
            throw Failure{exit_failed, e.what()};
        }
    }
    try {
        writer->finish();
    } catch (const VideoError& e) {
        progress.finish();
        throw Failure{exit_failed, e.what()};
    }
    progress.finish();

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
