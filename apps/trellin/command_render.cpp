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
#include "apps/common/core/frame_pipeline.h"
#include "apps/common/picture/picture_output.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/render_arguments.h"
#include "apps/trellin/render_video.h"

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
        if (is_video_render(input_, output_)) {
            VideoRenderRequest request;
            request.input = input_;
            request.output = output_;
            request.frames = frames_;
            request.skip_existing = skip_existing_;
            request.write_options = write_options;
            request.out_size = out_size;
            request.codec = codec_;
            request.rate = rate_;
            request.options = options_;
            request.controls = controls_;
            request.colour = colour_options_;
            request.verbosity = verbosity_;
            return render_video(request);
        }
        plan_frames();
        check_outputs(write_options.depth);

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

        // Every input is there before the first frame is written (one that
        // --skip-existing may leave out need not be). Stops at the first
        // missing one, keeping nothing per frame.
        std::error_code ec;
        for (long long n = range_.first; n <= range_.last; n += range_.step) {
            const Frame f = frame_at(n);
            if (!fs::exists(f.input, ec) && !(skip_existing_ && fs::exists(f.output, ec)))
                throw Failure{exit_usage, f.input + ": no such file" + frame_note(f.number)};
        }

        use_threads(options_.threads);
        Progress progress(verbosity_, range_.count());
        ClipCount clipped_before, clipped_written;
        std::string working_space;
        HdrMode hdr = HdrMode::none;
        std::string last_output = output_;

        PipelineStages stages;
        // The next frame to render; frames whose output is a complete picture
        // are left out with --skip-existing (an empty or damaged one is not).
        long long next = range_.first;
        stages.next = [&]() -> std::optional<PipelineFrame> {
            for (; next <= range_.last; next += range_.step) {
                const Frame f = frame_at(next);
                if (skip_existing_ && is_complete_picture(f.output)) {
                    progress.skipped(frame_name(f) + f.output);
                    continue;
                }
                next += range_.step;
                return PipelineFrame{f.number, f.input, f.output};
            }
            return std::nullopt;
        };
        stages.read = [this, &colour, write_options](const PipelineFrame& f) -> std::optional<NodeFrame> {
            try {
                PictureSource source;
                HostPicture picture = read_picture(f.input, &source);
                NodeFrame frame = colour.to_node(std::move(picture), std::move(source), f.input);
                // A colour configuration that cannot make the way out is
                // found before the node renders the frame.
                colour.prepare_output(
                    frame, colour.output_space(file_output_form(output_format(f.output), write_options.depth)));
                return frame;
            } catch (const PictureError& e) {
                throw Failure{exit_usage, e.what() + frame_note(f.number)};
            } catch (const ColourError& e) {
                throw Failure{exit_usage, e.what() + frame_note(f.number)};
            }
        };
        stages.on_read = [&](const PipelineFrame&, const NodeFrame& frame) {
            if (!frame.notes.empty() && !noted_input_) {
                progress.finish();
                for (const std::string& note : frame.notes) std::cerr << "trellin: note: " << note << "\n";
                noted_input_ = true;
            }
            clipped_before.merge(frame.clipped);
            working_space = frame.working_space;
            hdr = frame.hdr;
        };
        stages.write = [&colour, &record, write_options](const PipelineFrame& f, HostPicture result,
                                                         const NodeFrame& frame, const SplitParts& parts) {
            RenderRecord made = record;
            made.input = f.input;
            made.frame = f.number;
            FrameWritten w;
            try {
                w.report =
                    write_rendered(colour, std::move(result), frame, f.output, write_options, made, w.clipped, &parts);
            } catch (const PictureError& e) {
                throw Failure{exit_failed, e.what()};
            } catch (const ColourError& e) {
                throw Failure{exit_failed, e.what()};
            }
            return w;
        };
        stages.on_written = [&](const PipelineFrame& f, const FrameWritten& w) {
            clipped_written.merge(w.clipped);
            if ((w.report.alpha_dropped || w.report.settings_dropped) && !noted_alpha_) {
                progress.finish();
                print_notes(w.report, f.output);
                noted_alpha_ = true;
            }
            progress.rendered(frame_name(frame_at(f.number)) + f.input + " -> " + f.output);
            if (first_output_.empty()) first_output_ = f.output;
            ++frames_written_;
            last_output = f.output;
        };
        try {
            run_pipeline(*node, stages, out_size.width, out_size.height);
        } catch (const FrameRefused& e) {
            progress.finish();
            throw Failure{exit_failed, e.frame.input + ": the effect refused the frame (see its warning above)"};
        } catch (...) {
            progress.finish();
            throw;
        }
        progress.finish();
        print_clip_notes(clipped_before, clipped_written, hdr, working_space, output_format(last_output));
        save_project_if_asked(*node, controls_, &colour.options());
        if (verbosity_ != Verbosity::quiet) std::cout << written_summary(last_output) << std::flush;
        return exit_done;
    }

private:
    // What the run wrote, for its last line: the file, or the first and last
    // of a sequence and how many frames were left out because they existed.
    std::string written_summary(const std::string& last_output) const
    {
        const long long skipped = range_.count() - frames_written_;
        const std::string existed = skipped > 0 ? " (" + std::to_string(skipped) + " existed, skipped)" : "";
        if (frames_written_ == 0) return "wrote nothing: every output exists" + existed + "\n";
        if (!in_) return "wrote " + last_output + "\n";
        if (frames_written_ == 1) return "wrote 1 frame: " + last_output + existed + "\n";
        return "wrote " + std::to_string(frames_written_) + " frames: " + first_output_ + " to " + last_output +
               existed + "\n";
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
    std::optional<FramePattern> in_, out_;  // a sequence's patterns
    bool noted_alpha_ = false;
    bool noted_input_ = false;
    long long frames_written_ = 0;
    std::string first_output_;
};

}  // namespace

std::unique_ptr<Command> make_render_command()
{
    return std::make_unique<RenderCommand>();
}

}  // namespace trellin_cli
