// trellin render IN OUT: a picture file, or a numbered sequence of them,
// through the effect.
//
// Every frame goes through one node at time = its frame number (a still is
// frame 0), so the node's first-frame work happens once per run and each
// frame's controls are evaluated at its own time: a frame renders the same
// whatever range it was rendered in. Everything that can be checked before the
// first frame is checked then (arguments, settings, project, output folders,
// that every input frame exists); a frame that cannot be read later stops the
// run, and the frames written before it stay.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/output_file.h"
#include "apps/common/core/project_file.h"
#include "apps/common/core/frame_run.h"
#include "apps/common/picture/picture_frames.h"
#include "apps/common/picture/picture_output.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/rendering/render_arguments.h"
#include "apps/trellin/rendering/video_options.h"
#include "apps/video/frame_input.h"
#include "apps/video/video_frames.h"

namespace fs = std::filesystem;
using namespace trellin_app;

namespace trellin_cli {

namespace {

constexpr long long max_frames = 10000000;

// Whether `path` holds a frame pattern (a path whose '%' is no pattern holds none).
bool has_pattern(const std::string& path)
{
    try {
        return FramePattern(path).numbered();
    } catch (const SequenceError&) {
        return false;
    }
}

class RenderCommand : public Command, RenderArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        const NodeSettings settings = parse_node_settings(options_, controls_);
        WriteOptions write_options;
        if (!depth_.empty() && !parse_sample_depth(depth_, write_options.depth))
            throw Failure{exit_usage, "--depth " + depth_ + ": unknown depth (use 8, 10, 16, half or float)"};
        PictureSize out_size;
        if (!out_size_.empty()) out_size = parse_picture_size(out_size_, "--out-size");

        check_video_options(codec_, rate_, !numbered_name(input_) && trellin_video::is_video_file(input_),
                            trellin_video::is_video_output(output_));
        const bool video = is_video_render(input_, output_);
        if (video) {
            plan_video(write_options.depth);
        } else {
            plan_frames();
            check_outputs(write_options.depth);
        }

        NodeModule module = load_module();
        RenderOptions project_render;
        NodePtr node = prepare_node(module, controls_, settings, &project_render);
        const PictureColour colour = prepare_colour(*node, project_render, colour_options_);
        RenderRecord record;
        try {
            record.project = project_document(*node, &colour.options()).doc;
        } catch (const ProjectError& e) {
            throw Failure{exit_failed, e.what()};
        }
        if (!video) check_inputs();
        if (verbosity_ == Verbosity::verbose && reader_) {
            const trellin_video::VideoStreamInfo& v = reader_->info();
            std::cerr << "trellin: " << input_ << ": " << v.codec << " " << v.width << "x" << v.height << ", "
                      << reader_->frame_count() << " frames at " << v.frame_rate.num << "/" << v.frame_rate.den
                      << " fps, read as " << reader_->conversion_text() << (v.alpha ? " with alpha" : "") << "\n";
        }

        // Where the frames come from and go to.
        std::unique_ptr<FrameSource> source =
            input_frames_
                ? input_frames_->source(colour, true)
                : std::make_unique<PictureFileSource>(colour, in_ ? *in_ : FramePattern::plain(input_), false);
        std::unique_ptr<FrameSink> sink;
        trellin_video::VideoFileSink* video_sink = nullptr;
        if (video_out_) {
            auto made = std::make_unique<trellin_video::VideoFileSink>(
                colour, output_, video_plan_, trellin_video::VideoOrigin{input_, reader_, range_, parse_rate(rate_)});
            video_sink = made.get();
            sink = std::move(made);
        } else {
            sink = std::make_unique<PictureFileSink>(
                colour, out_numbered_ ? FramePattern(output_) : FramePattern::plain(output_), write_options, record,
                *source);
        }

        use_threads(options_.threads);
        use_picture_processors(smp_numprocs());
        Progress progress(verbosity_, range_.count());
        FrameRunWatch watch;
        watch.skipped = [&](long long n) { progress.skipped(frame_label(n) + sink->frame_name(n)); };
        watch.written = [&](long long n, const FrameWritten&) {
            progress.rendered(frame_label(n) + source->frame_name(n) + " -> " + sink->frame_name(n));
        };
        watch.notes = [&](const std::vector<std::string>& notes) {
            progress.finish();
            for (const std::string& note : notes) std::cerr << "trellin: note: " << note << "\n";
        };
        FrameList frames;
        frames.numbers = range_.frames();
        FrameRunTally tally;
        try {
            tally = render_frames(*node, *source, *sink, frames,
                                  {out_size.width, out_size.height, skip_existing_ && !video_out_}, watch);
        } catch (...) {
            progress.finish();
            throw;
        }
        progress.finish();
        print_clip_notes(tally.clipped_before, tally.clipped_written, tally.hdr, tally.working_space,
                         video_out_ ? video_plan_.container
                                    : output_format(tally.last_output.empty() ? output_ : tally.last_output));
        save_project_if_asked(*node, controls_, &colour.options());
        if (verbosity_ != Verbosity::quiet) {
            if (video_sink)
                std::cout << video_summary(*video_sink);
            else
                std::cout << written_summary(tally);
            std::cout << std::flush;
        }
        return exit_done;
    }

private:
    // What the run wrote, for its last line: the file, or the first and last
    // of a sequence and how many frames were left out because they existed.
    std::string written_summary(const FrameRunTally& tally) const
    {
        const std::string existed =
            tally.skipped > 0 ? " (" + std::to_string(tally.skipped) + " existed, skipped)" : "";
        if (tally.written == 0) return "wrote nothing: every output exists" + existed + "\n";
        if (!in_numbered_ && !out_numbered_ && !reader_) return "wrote " + tally.last_output + "\n";
        if (tally.written == 1) return "wrote 1 frame: " + tally.last_output + existed + "\n";
        return "wrote " + std::to_string(tally.written) + " frames: " + tally.first_output + " to " +
               tally.last_output + existed + "\n";
    }

    // What a video OUT holds, as a still's run names what it wrote.
    std::string video_summary(const trellin_video::VideoFileSink& sink) const
    {
        const trellin_video::Rational picture_rate = parse_rate(rate_);
        const double seconds = reader_ ? double(reader_->timestamp(range_.last) + reader_->duration(range_.last) -
                                                reader_->timestamp(range_.first)) *
                                             reader_->info().time_base.num / reader_->info().time_base.den
                                       : double(range_.count()) * picture_rate.den / picture_rate.num;
        char length[32];
        std::snprintf(length, sizeof length, "%.2f", seconds);
        return "wrote " + output_ + ": " + std::to_string(range_.count()) +
               (range_.count() == 1 ? " frame, " : " frames, ") + length + " s (" + sink.streams_text() + ")\n";
    }

    // "frame N: " where frames are numbered (a sequence, a video), before
    // the names in progress lines.
    std::string frame_label(long long n) const
    {
        return in_numbered_ || out_numbered_ || reader_ ? "frame " + std::to_string(n) + ": " : std::string();
    }

    struct Frame {
        long long number = 0;
        std::string input, output;
        bool sequence = false;
    };

    static std::string frame_name(const Frame& f)
    {
        return f.sequence ? "frame " + std::to_string(f.number) + ": " : std::string();
    }
    std::string frame_note(long long number) const
    {
        return in_ ? " (frame " + std::to_string(number) + ")" : std::string();
    }

    Frame frame_at(long long n) const
    {
        if (!in_) return {n, input_, output_, false};
        return {n, in_->path_for(n), out_->path_for(n), true};
    }

    // Every input is there before the first frame is written (one that
    // --skip-existing may leave out need not be). Stops at the first missing
    // one, keeping nothing per frame.
    void check_inputs() const
    {
        std::error_code ec;
        for (long long n = range_.first; n <= range_.last; n += range_.step) {
            const Frame f = frame_at(n);
            if (!fs::exists(f.input, ec) && !(skip_existing_ && fs::exists(f.output, ec)))
                throw Failure{exit_usage, f.input + ": no such file" + frame_note(f.number)};
        }
    }

    // A render with a video IN or OUT: the input (a video, a numbered
    // sequence or one picture), the frames and the output (a video, a
    // numbered sequence or one picture), all checked before anything is read
    // or written.
    void plan_video(SampleDepth depth)
    {
        video_out_ = trellin_video::is_video_output(output_);
        try {
            input_frames_.emplace(input_, frames_, "render");
        } catch (const trellin_video::FrameInputError& e) {
            throw Failure{exit_usage, e.what()};
        }
        const trellin_video::FrameInput& in = *input_frames_;
        in_numbered_ = in.numbered();
        reader_ = in.reader();
        range_ = in.range();
        if (video_out_) {
            if (same_file(input_, output_))
                throw Failure{exit_usage, output_ + ": OUT is IN; write the video to another name"};
            // Alpha: the video's, or the first picture's.
            bool alpha = reader_ ? reader_->info().alpha : false;
            if (!reader_) {
                try {
                    alpha = read_picture(in.path_for(range_.first)).samples == 4;
                } catch (const PictureError& e) {
                    throw Failure{exit_usage, e.what()};
                }
            }
            try {
                video_plan_ = trellin_video::plan_video_output(output_, codec_, alpha);
            } catch (const trellin_video::VideoError& e) {
                throw Failure{exit_usage, e.what()};
            }
            // A video's samples are the encoder's: --depth would go unused.
            if (depth != SampleDepth::automatic)
                throw Failure{exit_usage, "--depth: " + output_ + " is a video, whose samples --pix-fmt sets (here " +
                                              video_plan_.pix_fmt + " for " + video_plan_.encoder +
                                              "), not --depth's " + sample_depth_name(depth) +
                                              " (which is for pictures)"};
            check_folder_writable(output_);
            // A video is written whole, so there are no finished frames of it to keep.
            if (skip_existing_)
                std::cerr << "trellin: note: " << output_
                          << ": --skip-existing keeps the frames of picture sequences; a video is rendered whole\n";
        } else {
            std::optional<FramePattern> out;
            try {
                out.emplace(output_);
            } catch (const SequenceError& e) {
                throw Failure{exit_usage, e.what()};
            }
            out_numbered_ = out->numbered();
            if (!out_numbered_ && range_.count() > 1)
                throw Failure{exit_usage,
                              output_ + ": OUT names one picture and IN has " + std::to_string(range_.count()) +
                                  " frames; give a frame pattern (%04d or ####) or --frames N for one frame"};
            const std::string first = out->path_for(range_.first);
            check_output(first);
            try {
                check_sample_depth(first, depth);
            } catch (const PictureError& e) {
                throw Failure{exit_usage, std::string("--depth: ") + e.what()};
            }
            check_folder_writable(first);
            try {
                out->check_distinct(range_);
            } catch (const SequenceError& e) {
                throw Failure{exit_usage, e.what()};
            }
        }
        check_save_project(controls_, {{input_, reader_        ? "the input video"
                                                : in_numbered_ ? "an input frame"
                                                               : "the input picture"},
                                       {output_, video_out_      ? "the output video"
                                                 : out_numbered_ ? "an output frame"
                                                                 : "the output picture"}});
        parse_rate(rate_);
    }

    // The frames of the run: range_, and for a sequence the patterns in_ and
    // out_. Checks that distinct frames get distinct names and that no output
    // replaces an input of the run.
    void plan_frames()
    {
        if (frames_.empty()) {
            for (const auto& [path, name] : {std::pair{input_, "IN"}, std::pair{output_, "OUT"}}) {
                if (has_pattern(path))
                    throw Failure{exit_usage, path + ": " + name +
                                                  " names a numbered sequence; give the frames to render with "
                                                  "--frames FIRST-LAST"};
            }
            range_ = FrameRange{};
            return;
        }
        std::optional<FramePattern> in, out;
        try {
            range_ = parse_frame_range(frames_);
            in.emplace(input_);
            out.emplace(output_);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, std::string("--frames: ") + e.what()};
        }
        // One frame of a still: the still rendered at that frame's time.
        if (!in->numbered() && !out->numbered() && range_.count() == 1) return;
        if (!in->numbered() && !out->numbered())
            throw Failure{exit_usage, output_ + ": --frames " + frames_ + " names " + std::to_string(range_.count()) +
                                          " frames, but neither IN nor OUT has a frame pattern (%04d or ####)"};
        if (!in->numbered() || !out->numbered()) {
            const bool in_numbered = in->numbered();
            const std::string& plain = in_numbered ? output_ : input_;
            throw Failure{exit_usage, plain + ": --frames needs a frame pattern (%04d or ####) in " +
                                          (in_numbered ? "OUT" : "IN") + " as well as in " +
                                          (in_numbered ? "IN" : "OUT")};
        }
        // More frames than any shot has: a typing error, not a run to plan.
        if (range_.count() > max_frames)
            throw Failure{exit_usage, "--frames " + frames_ + ": " + std::to_string(range_.count()) +
                                          " frames; at most " + std::to_string(max_frames) + " in one run"};
        try {
            out->check_distinct(range_);
        } catch (const SequenceError& e) {
            throw Failure{exit_usage, e.what()};
        }
        check_no_overlap(*in, *out);
        in_ = std::move(in);
        out_ = std::move(out);
        in_numbered_ = out_numbered_ = true;
    }

    // No output frame replaces an input frame: compared by name, by the
    // names folders linked elsewhere resolve to, and, for input frames that
    // are links themselves, by the file each points to. All before anything
    // is written.
    void check_no_overlap(const FramePattern& in, const FramePattern& out) const
    {
        const auto refuse = [&out](long long f) {
            return Failure{exit_usage, out.path_for(f) + ": OUT frame " + std::to_string(f) +
                                           " would replace an input frame; write the frames to other names"};
        };
        if (const std::optional<long long> f =
                first_overlap(FramePattern(absolute_name(input_)), FramePattern(absolute_name(output_)), range_))
            throw refuse(*f);
        const FramePattern written(resolved_name(output_));
        if (const std::optional<long long> f = first_overlap(FramePattern(resolved_name(input_)), written, range_))
            throw refuse(*f);
        // Up to the first missing input frame, which the check of the inputs names.
        for (long long f = range_.first; f <= range_.last; f += range_.step) {
            std::error_code ec;
            const std::string frame = in.path_for(f);
            const fs::file_status status = fs::symlink_status(frame, ec);
            if (!fs::exists(status)) break;
            if (!fs::is_symlink(status)) continue;
            const fs::path target = fs::weakly_canonical(fs::absolute(frame, ec), ec);
            if (ec) continue;
            const std::optional<long long> g = written.frame_of(target.string());
            if (g && in_range(range_, *g)) throw refuse(*g);
        }
    }

    // Every output can be written: format, depth, folder (checked once per
    // folder, and what killed runs left there for this run's outputs removed),
    // and --save-project names no picture of the run nor any other file.
    void check_outputs(SampleDepth depth)
    {
        std::string last_folder;
        bool first = true;
        for (long long n = range_.first; n <= range_.last; n += range_.step) {
            const Frame f = frame_at(n);
            const std::string folder = fs::path(f.output).parent_path().string();
            if (!first && folder == last_folder) continue;
            check_output(f.output);
            try {
                check_sample_depth(f.output, depth);
            } catch (const PictureError& e) {
                throw Failure{exit_usage, std::string("--depth: ") + e.what()};
            }
            check_folder_writable(f.output);
            remove_stale_temporaries(folder, [this](const std::string& output) {
                if (!out_) return fs::path(output).filename() == fs::path(output_).filename();
                const std::optional<long long> frame = out_->frame_of(output);
                return frame && in_range(range_, *frame);
            });
            last_folder = folder;
            first = false;
            // A pattern in the file name leaves one folder for every frame.
            if (!out_ || fs::path(out_->path_for(range_.first)).parent_path() ==
                             fs::path(out_->path_for(range_.first + 1)).parent_path())
                break;
        }
        if (!in_) {
            check_picture_files(input_, output_, controls_);
            return;
        }
        check_save_project(controls_, {{input_, "an input frame of the run"}, {output_, "an output frame of the run"}});
    }

    FrameRange range_;                      // a still: the one frame 0 (or N of --frames N)
    std::optional<FramePattern> in_, out_;  // a sequence's patterns (pictures to pictures)
    bool in_numbered_ = false, out_numbered_ = false;
    // A render with a video IN or OUT: the video read, and the plan of the one written.
    std::optional<trellin_video::FrameInput> input_frames_;
    trellin_video::VideoReader* reader_ = nullptr;
    bool video_out_ = false;
    trellin_video::VideoOutputPlan video_plan_;
};

}  // namespace

std::unique_ptr<Command> make_render_command()
{
    return std::make_unique<RenderCommand>();
}

}  // namespace trellin_cli
