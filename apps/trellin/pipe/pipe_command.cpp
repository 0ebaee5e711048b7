#include "apps/trellin/pipe/pipe_command.h"

#include <unistd.h>

#include <csignal>
#include <string>

#include "apps/common/core/frame_run.h"
#include "apps/common/core/raw_frames.h"
#include "apps/trellin/pipe/pipe_frames.h"

using namespace trellin_app;

namespace trellin_cli {

PipeCommand::Sizes PipeCommand::check_arguments(NodeSettings& settings) const
{
    settings = parse_node_settings(options_, controls_);
    // The sizes' memory is checked when the first frame arrives.
    Sizes sizes;
    sizes.in = parse_picture_size(size_, "--size", false);
    sizes.out = out_size_.empty() ? sizes.in : parse_picture_size(out_size_, "--out-size", false);
    if (::isatty(STDOUT_FILENO) == 1)
        throw Failure{exit_usage, "standard output is a terminal; send the frames to a program or a file"};
    return sizes;
}

PictureSource PipeCommand::frame_source() const
{
    const bool floats = pixel_format_ == gbrapf32le;
    PictureSource source;
    source.format = "raw";
    source.float_samples = floats;
    source.alpha = true;
    source.associated_alpha = alpha_.empty() ? floats : alpha_ == "premultiplied";
    return source;
}

int PipeCommand::run_frames(FXNode& node, const PipeColour& colour, const Sizes& sizes)
{
    // A reader that goes away is reported as a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    PipeFrameForm form;
    form.source = frame_source();
    form.width = sizes.in.width;
    form.height = sizes.in.height;
    // With --out-size the node is told the output's aspect, derived from this one.
    form.pixel_aspect = aspect_;

    // The frames' memory is taken only once the first frame starts to
    // arrive: an empty stream ends at once, whatever --size says.
    RawFrameReader reader(STDIN_FILENO, form.width, form.height,
                          form.floats() ? raw_float_bytes_per_pixel : raw_bytes_per_pixel);
    try {
        if (reader.at_end()) return exit_done;
    } catch (const RawFrameError& e) {
        throw Failure{exit_usage, e.what()};
    }
    parse_picture_size(size_, "--size");
    if (!out_size_.empty()) parse_picture_size(out_size_, "--out-size");

    PipeFrameSource source(reader, colour, form, size_);
    PipeFrameSink sink(STDOUT_FILENO, colour, form, sizes.out.width, sizes.out.height);
    widen_pipe(STDIN_FILENO, reader.frame_bytes());
    widen_pipe(STDOUT_FILENO, sink.frame_bytes());

    // Inside a pipeline the encoder usually draws its own progress line on
    // the same terminal; ours would overwrite it, so it is shown only when asked for.
    const Verbosity shown = verbosity_ == Verbosity::normal && !progress_ ? Verbosity::quiet : verbosity_;
    Progress progress(shown, 0);
    FrameRunWatch watch;
    watch.written = [&](long long n, const FrameWritten&) { progress.rendered("frame " + std::to_string(n)); };
    FrameRunTally tally;
    try {
        tally = render_frames(node, source, sink, FrameList{{}, true}, {sizes.out.width, sizes.out.height}, watch);
    } catch (...) {
        progress.finish();
        throw;
    }
    progress.finish();
    colour.print_notes(tally.clipped_before, tally.clipped_written, tally.hdr, tally.working_space);
    return exit_done;
}

}  // namespace trellin_cli
