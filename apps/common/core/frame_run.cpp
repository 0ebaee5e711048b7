#include "apps/common/core/frame_run.h"

#include <optional>
#include <utility>

#include "apps/common/core/failure.h"

namespace trellin_app {

FrameRunTally render_frames(FXNode& node, FrameSource& source, FrameSink& sink, const FrameList& frames,
                            const FrameRunOptions& options, const FrameRunWatch& watch)
{
    FrameRunTally tally;
    bool noted_input = false;
    auto tell = [&watch](std::vector<std::string> notes) {
        if (!notes.empty() && watch.notes) watch.notes(notes);
    };

    PipelineStages stages;
    std::size_t next = 0;  // the next of frames.numbers
    long long counter = 0;
    stages.next = [&]() -> std::optional<PipelineFrame> {
        if (frames.until_end) {
            const long long n = counter++;
            return PipelineFrame{n, source.frame_name(n), sink.frame_name(n)};
        }
        for (; next < frames.numbers.size(); ++next) {
            const long long n = frames.numbers[next];
            if (options.skip_existing && sink.holds(n)) {
                ++tally.skipped;
                if (watch.skipped) watch.skipped(n);
                continue;
            }
            ++next;
            return PipelineFrame{n, source.frame_name(n), sink.frame_name(n)};
        }
        return std::nullopt;
    };
    stages.read = [&source, &sink](const PipelineFrame& f) {
        std::optional<NodeFrame> frame = source.read(f.number);
        if (frame) sink.prepare(f.number, *frame);
        return frame;
    };
    stages.reuse_input = [&source](HostPicture picture) { source.reuse(std::move(picture)); };
    stages.on_read = [&](const PipelineFrame&, const NodeFrame& frame) {
        if (!frame.notes.empty() && !noted_input) {
            noted_input = true;
            tell(frame.notes);
        }
        tally.clipped_before.merge(frame.clipped);
        tally.working_space = frame.working_space;
        tally.hdr = frame.hdr;
    };
    stages.write = [&sink](const PipelineFrame& f, HostPicture result, const NodeFrame& frame,
                           const SplitParts& parts) { return sink.write(f.number, std::move(result), frame, parts); };
    stages.on_written = [&](const PipelineFrame& f, const FrameWritten& w) {
        tally.clipped_written.merge(w.clipped);
        tell(sink.take_notes());
        if (tally.first_output.empty()) tally.first_output = f.output;
        tally.last_output = f.output;
        ++tally.written;
        if (watch.written) watch.written(f.number, w);
    };
    try {
        run_pipeline(node, stages, options.width, options.height);
    } catch (const FrameRefused& e) {
        throw Failure{exit_failed, source.refusal(e.frame.number)};
    }
    sink.finish();
    tell(sink.take_notes());
    return tally;
}

}  // namespace trellin_app
