#include "apps/trellin/render_video.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/frame_pipeline.h"
#include "apps/common/picture/picture_output.h"
#include "apps/common/core/project_file.h"
#include "apps/video/video_reader.h"
#include "apps/video/video_writer.h"

namespace fs = std::filesystem;
using namespace trellin_app;
using namespace trellin_video;

namespace trellin_cli {

namespace {

std::string frame_text(long long n)
{
    return "frame " + std::to_string(n);
}

}  // namespace

bool numbered_name(const std::string& path)
{
    try {
        return FramePattern(path).numbered();
    } catch (const SequenceError&) {
        return false;
    }
}

void check_video_options(const VideoCodecOptions& codec, const std::string& rate, bool video_in, bool video_out)
{
    if (!video_out) {
        const char* given = !codec.codec.empty()     ? "--codec"
                            : codec.crf >= 0         ? "--crf"
                            : !codec.bitrate.empty() ? "--bitrate"
                            : !codec.pix_fmt.empty() ? "--pix-fmt"
                            : codec.gop > 0          ? "--gop"
                                                     : nullptr;
        if (given != nullptr)
            throw Failure{exit_usage, std::string(given) +
                                          ": OUT is no video (.mov .mkv .mp4 .mxf .webm) but a picture or "
                                          "a sequence of them, which is written without a video codec"};
    }
    if (!rate.empty() && (video_in || !video_out))
        throw Failure{exit_usage, "--rate " + rate + ": " +
                                      (video_in ? std::string("IN is a video, whose frames keep its own timing")
                                                : std::string("OUT is no video")) +
                                      "; --rate times a video made of pictures"};
}

Rational parse_rate(const std::string& text)
{
    Rational rate{25, 1};
    if (text.empty()) return rate;
    const std::size_t slash = text.find('/');
    auto whole = [](const std::string& t, int& v) {
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::stoi(t);
        return v > 0;
    };
    if (slash != std::string::npos) {
        if (whole(text.substr(0, slash), rate.num) && whole(text.substr(slash + 1), rate.den)) return rate;
    } else if (whole(text, rate.num)) {
        rate.den = 1;
        return rate;
    } else if (const std::size_t dot = text.find('.');
               dot != std::string::npos && dot + 1 < text.size() && dot + 4 >= text.size()) {
        int units = 0, parts = 0;
        const std::string fraction = text.substr(dot + 1);
        if ((dot == 0 || whole(text.substr(0, dot), units) || text.substr(0, dot) == "0") &&
            fraction.find_first_not_of("0123456789") == std::string::npos) {
            parts = std::stoi(fraction);
            int scale = 1;
            for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10;
            // 23.976, 29.97 and 59.94 are the NTSC rates.
            if ((units == 23 || units == 29 || units == 59) && parts * 1000 / scale >= 970)
                return {(units + 1) * 1000, 1001};
            rate = {units * scale + parts, scale};
            if (rate.num > 0) return rate;
        }
    }
    throw Failure{exit_usage, "--rate " + text + ": not a frame rate (give 25, 24000/1001 or 29.97)"};
}

bool is_video_render(const std::string& input, const std::string& output)
{
    if (is_video_output(output)) return true;
    return !numbered_name(input) && is_video_file(input);
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

int render_video(const VideoRenderRequest& rq)
{
    const NodeSettings settings = parse_node_settings(rq.options, rq.controls);
    const bool video_out = is_video_output(rq.output);

    // The input: a video, a numbered sequence or one picture.
    std::unique_ptr<VideoReader> reader;
    std::optional<FramePattern> in_pattern;
    if (!numbered_name(rq.input) && is_video_file(rq.input)) {
        try {
            reader = std::make_unique<VideoReader>(rq.input);
        } catch (const VideoError& e) {
            throw Failure{exit_usage, e.what()};
        }
    } else if (numbered_name(rq.input)) {
        if (rq.frames.empty())
            throw Failure{exit_usage, rq.input +
                                          ": IN names a numbered sequence; give the frames to render with "
                                          "--frames FIRST-LAST"};
        in_pattern.emplace(rq.input);
    }
    FrameRange range;
    try {
        if (!rq.frames.empty()) range = parse_frame_range(rq.frames);
    } catch (const SequenceError& e) {
        throw Failure{exit_usage, std::string("--frames: ") + e.what()};
    }
    if (reader) {
        const long long count = reader->frame_count();
        if (rq.frames.empty()) range = {0, count - 1, 1};
        if (range.last >= count)
            throw Failure{exit_usage, rq.input + ": --frames " + rq.frames +
                                          " reaches past the end: its last frame is " + std::to_string(count - 1)};
    }

    // The output: a video, a numbered sequence or one picture.
    std::optional<FramePattern> out_pattern;
    VideoOutputPlan plan;
    if (video_out) {
        if (same_file(rq.input, rq.output))
            throw Failure{exit_usage, rq.output + ": OUT is IN; write the video to another name"};
        // Alpha: the video's, or the first picture's.
        bool alpha = reader ? reader->info().alpha : false;
        if (!reader) {
            const std::string first = in_pattern ? in_pattern->path_for(range.first) : rq.input;
            try {
                alpha = read_picture(first).samples == 4;
            } catch (const PictureError& e) {
                throw Failure{exit_usage, e.what()};
            }
        }
        try {
            plan = plan_video_output(rq.output, rq.codec, alpha);
        } catch (const VideoError& e) {
            throw Failure{exit_usage, e.what()};
        }
        // A video's samples are the encoder's: --depth would go unused.
        if (rq.write_options.depth != SampleDepth::automatic)
            throw Failure{exit_usage, "--depth: " + rq.output + " is a video, whose samples --pix-fmt sets (here " +
                                          plan.pix_fmt + " for " + plan.encoder + "), not --depth's " +
                                          sample_depth_name(rq.write_options.depth) + " (which is for pictures)"};
        check_folder_writable(rq.output);
        // A video is written whole, so there are no finished frames of it to keep.
        if (rq.skip_existing)
            std::cerr << "trellin: note: " << rq.output
                      << ": --skip-existing keeps the frames of picture sequences; a video is rendered whole\n";
    } else {
        try {
            out_pattern.emplace(rq.output);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, e.what()};
        }
        if (!out_pattern->numbered() && range.count() > 1)
            throw Failure{exit_usage, rq.output + ": OUT names one picture and IN has " +
                                          std::to_string(range.count()) +
                                          " frames; give a frame pattern (%04d or ####) or --frames N for one frame"};
        const std::string first = out_pattern->path_for(range.first);
        check_output(first);
        try {
            check_sample_depth(first, rq.write_options.depth);
        } catch (const PictureError& e) {
            throw Failure{exit_usage, std::string("--depth: ") + e.what()};
        }
        check_folder_writable(first);
        try {
            out_pattern->check_distinct(range);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, e.what()};
        }
    }
    check_save_project(rq.controls, {{rq.input, reader       ? "the input video"
                                                : in_pattern ? "an input frame"
                                                             : "the input picture"},
                                     {rq.output, video_out                                ? "the output video"
                                                 : out_pattern && out_pattern->numbered() ? "an output frame"
                                                                                          : "the output picture"}});
    const Rational picture_rate = parse_rate(rq.rate);

    NodeModule module = load_module();
    RenderOptions project_render;
    NodePtr node = prepare_node(module, rq.controls, settings, &project_render);
    const PictureColour colour = prepare_colour(*node, project_render, rq.colour);
    RenderRecord record;
    try {
        record.project = project_document(*node, &colour.options()).doc;
    } catch (const ProjectError& e) {
        throw Failure{exit_failed, e.what()};
    }
    if (rq.verbosity == Verbosity::verbose && reader) {
        const VideoStreamInfo& v = reader->info();
        std::cerr << "trellin: " << rq.input << ": " << v.codec << " " << v.width << "x" << v.height << ", "
                  << reader->frame_count() << " frames at " << v.frame_rate.num << "/" << v.frame_rate.den
                  << " fps, read as " << reader->conversion_text() << (v.alpha ? " with alpha" : "") << "\n";
    }

    use_threads(rq.options.threads);
    Progress progress(rq.verbosity, range.count());
    const std::vector<long long> frames = range.frames();
    std::size_t next = 0;  // the next of `frames` to render
    auto output_of = [&](long long n) { return out_pattern ? out_pattern->path_for(n) : rq.output; };
    auto input_of = [&](long long n) { return in_pattern ? in_pattern->path_for(n) : rq.input; };

    PipelineStages stages;
    stages.next = [&]() -> std::optional<PipelineFrame> {
        for (; next < frames.size(); ++next) {
            const long long n = frames[next];
            if (!video_out && rq.skip_existing && is_complete_picture(output_of(n))) {
                progress.skipped(frame_text(n) + ": " + output_of(n));
                continue;
            }
            ++next;
            return PipelineFrame{n, input_of(n), video_out ? rq.output : output_of(n)};
        }
        return std::nullopt;
    };

    // Frame n is read and converted beside the render of the one before, into
    // the storage of a frame already rendered.
    const PictureSource video_source = reader ? reader->source() : PictureSource{};
    std::optional<NodeFrame> still;  // one picture rendered at many times is read once
    SparePictures spare_inputs;
    stages.reuse_input = [&](HostPicture picture) { spare_inputs.give(std::move(picture)); };
    stages.read = [&](const PipelineFrame& f) -> std::optional<NodeFrame> {
        try {
            if (reader) {
                HostPicture picture = spare_inputs.take();
                reader->read(f.number, picture);
                return colour.to_node(std::move(picture), video_source, rq.input);
            }
            if (!in_pattern && still) return *still;
            PictureSource source;
            HostPicture picture = read_picture(f.input, &source);
            NodeFrame frame = colour.to_node(std::move(picture), std::move(source), f.input);
            if (!in_pattern) still = frame;
            return frame;
        } catch (const VideoError& e) {
            throw Failure{exit_failed, e.what()};
        } catch (const PictureError& e) {
            throw Failure{exit_usage, e.what() + std::string(" (") + frame_text(f.number) + ")"};
        } catch (const ColourError& e) {
            throw Failure{exit_usage, e.what() + std::string(" (") + frame_text(f.number) + ")"};
        }
    };
    ClipCount clipped_before, clipped_written;
    std::string working_space;
    HdrMode hdr = HdrMode::none;
    bool noted_input = false, noted_alpha = false;
    stages.on_read = [&](const PipelineFrame&, const NodeFrame& frame) {
        if (!frame.notes.empty() && !noted_input) {
            progress.finish();
            for (const std::string& note : frame.notes) std::cerr << "trellin: note: " << note << "\n";
            noted_input = true;
        }
        clipped_before.merge(frame.clipped);
        working_space = frame.working_space;
        hdr = frame.hdr;
    };

    // The video is opened with its first frame, whose shape it takes; what it
    // has to say is told on the calling thread once that frame is written.
    std::unique_ptr<VideoWriter> writer;
    std::vector<std::string> writer_notes;
    std::int64_t picture_index = 0;  // timestamps of a video made of pictures
    stages.write = [&](const PipelineFrame& f, HostPicture result, const NodeFrame& frame, const SplitParts& parts) {
        FrameWritten w;
        try {
            if (!video_out) {
                RenderRecord made = record;
                made.input = f.input;
                made.frame = f.number;
                w.report = write_rendered(colour, std::move(result), frame, f.output, rq.write_options, made, w.clipped,
                                          &parts);
                return w;
            }
            const std::string space =
                colour.options().colorspace_out.empty() ? frame.input_space : colour.options().colorspace_out;
            if (!writer) {
                VideoOutputShape shape = video_output_shape(result, space, rq.input, reader.get(), range, picture_rate);
                // Written back in the space it was read in, a video keeps its
                // own tags: an untagged one (read in the pictures' sRGB
                // convention, where players take it for BT.709) stays
                // untagged, and one whose space the colour spaces at hand
                // lack (PQ, HLG, BT.2020 without a config holding them; its
                // samples then pass as they are) keeps the tags it came with.
                shape.format.space = video_tag_space(colour.options(), reader.get(), space);
                if (!shape.format.space.empty() && !same_name(shape.format.space, space))
                    writer_notes.push_back(rq.output + ": keeps the colour tags of " + rq.input + " (" +
                                           shape.format.space + "): its samples passed through as they are");
                writer = std::make_unique<VideoWriter>(rq.output, plan, shape.format,
                                                       shape.streams ? &*shape.streams : nullptr, writer_notes);
                if (result.samples == 4 && !plan.alpha)
                    writer_notes.push_back(rq.output + ": " + plan.encoder + " " + plan.pix_fmt +
                                           " holds no alpha; colour only was written");
            }
            OutputFrame out =
                colour.from_node(std::move(result), frame, space, OutputForm{"video", false, false}, &parts);
            w.clipped = out.clipped;
            writer->write(out.picture, reader ? reader->timestamp(f.number) : picture_index++);
            w.spare = std::move(out.picture);
        } catch (const VideoError& e) {
            throw Failure{exit_failed, e.what()};
        } catch (const PictureError& e) {
            throw Failure{exit_failed, e.what()};
        } catch (const ColourError& e) {
            throw Failure{exit_failed, e.what()};
        }
        return w;
    };
    std::string first_written, last_written;
    long long frames_written = 0;
    stages.on_written = [&](const PipelineFrame& f, const FrameWritten& w) {
        clipped_written.merge(w.clipped);
        if (!writer_notes.empty()) {
            progress.finish();
            for (const std::string& note : writer_notes) std::cerr << "trellin: note: " << note << "\n";
            writer_notes.clear();
        }
        if (w.report.alpha_dropped && !noted_alpha) {
            noted_alpha = true;
            std::cerr << "trellin: note: " << f.output << ": " << w.report.format
                      << " holds no alpha; colour only was written\n";
        }
        progress.rendered(frame_text(f.number) + " -> " + f.output);
        if (first_written.empty()) first_written = f.output;
        last_written = f.output;
        ++frames_written;
    };

    try {
        run_pipeline(*node, stages, rq.out_size.width, rq.out_size.height);
        if (writer) writer_notes = writer->finish();
    } catch (const FrameRefused& e) {
        progress.finish();
        throw Failure{exit_failed, e.frame.input + ": the effect refused " + frame_text(e.frame.number) +
                                       " (see its warning above)"};
    } catch (const VideoError& e) {
        progress.finish();
        throw Failure{exit_failed, e.what()};
    } catch (...) {
        progress.finish();
        throw;
    }
    progress.finish();
    for (const std::string& note : writer_notes) std::cerr << "trellin: note: " << note << "\n";
    print_clip_notes(clipped_before, clipped_written, hdr, working_space,
                     video_out ? plan.container : output_format(output_of(range.last)));
    save_project_if_asked(*node, rq.controls, &colour.options());
    if (rq.verbosity != Verbosity::quiet && !video_out) {
        const long long skipped = static_cast<long long>(frames.size()) - frames_written;
        const std::string existed = skipped > 0 ? " (" + std::to_string(skipped) + " existed, skipped)" : "";
        if (frames_written == 0)
            std::cout << "wrote nothing: every output exists" << existed << "\n";
        else if (frames_written == 1)
            std::cout << "wrote 1 frame: " << last_written << existed << "\n";
        else
            std::cout << "wrote " << frames_written << " frames: " << first_written << " to " << last_written << existed
                      << "\n";
        std::cout << std::flush;
    }
    if (rq.verbosity != Verbosity::quiet && writer) {
        // What the video holds, as a still's run names what it wrote.
        const double seconds = reader ? double(reader->timestamp(range.last) + reader->duration(range.last) -
                                               reader->timestamp(range.first)) *
                                            reader->info().time_base.num / reader->info().time_base.den
                                      : double(frames.size()) * picture_rate.den / picture_rate.num;
        char length[32];
        std::snprintf(length, sizeof length, "%.2f", seconds);
        std::cout << "wrote " << rq.output << ": " << frames.size() << (frames.size() == 1 ? " frame, " : " frames, ")
                  << length << " s (" << writer->streams_text() << ")\n"
                  << std::flush;
    }
    return exit_done;
}

}  // namespace trellin_cli
