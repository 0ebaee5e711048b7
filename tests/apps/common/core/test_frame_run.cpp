// A node run from a source of frames into a sink: each frame rendered at its
// own number's time and handed over in order, frames the sink holds left out,
// a stream run until it ends, notes told once, and a sink's fault ending the
// run after the frames before it.
// test-labels: threaded
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/common/core/failure.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/frame_run.h"
#include "apps/common/core/memory_frames.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_app;

std::vector<HostPicture> frames_held(int count)
{
    std::vector<HostPicture> made;
    for (int k = 0; k < count; ++k) {
        HostPicture p(24, 16, 4);
        for (std::size_t i = 0; i < p.data.size(); ++i) p.data[i] = std::uint16_t(i * 2011 + k * 7919);
        made.push_back(std::move(p));
    }
    return made;
}

NodePtr fresh_node()
{
    return NodePtr(vx::TrellinNode::make());
}

// A source whose frames carry notes, and a sink that fails at one frame and notes another.
class NotingSource : public MemoryFrameSource {
public:
    using MemoryFrameSource::MemoryFrameSource;
    std::optional<NodeFrame> read(long long number) override
    {
        std::optional<NodeFrame> frame = MemoryFrameSource::read(number);
        if (frame && number >= 1) frame->notes = {"input note " + std::to_string(number)};
        return frame;
    }
};

class FailingSink : public MemoryFrameSink {
public:
    explicit FailingSink(long long fail_at) : fail_at_(fail_at) {}
    FrameWritten write(long long number, HostPicture result, const NodeFrame& frame, const SplitParts& parts) override
    {
        if (number == fail_at_) throw Failure{exit_failed, "cannot write frame " + std::to_string(number)};
        if (number == 0) note_ = "sink note";
        return MemoryFrameSink::write(number, std::move(result), frame, parts);
    }
    std::vector<std::string> take_notes() override
    {
        if (note_.empty()) return {};
        return {std::exchange(note_, {})};
    }

private:
    long long fail_at_;
    std::string note_;
};

TEST(FrameRun, FramesRenderAtTheirOwnTimeInOrderAndEqualOneFrameRenders)
{
    NodePtr node = fresh_node();
    MemoryFrameSource source(frames_held(4));
    MemoryFrameSink sink;
    std::vector<long long> told;
    FrameRunWatch watch;
    watch.written = [&](long long n, const FrameWritten&) { told.push_back(n); };
    const FrameRunTally tally = render_frames(*node, source, sink, FrameList{{3, 0, 2}, false}, {}, watch);

    EXPECT_EQ(told, (std::vector<long long>{3, 0, 2}));
    EXPECT_EQ(tally.written, 3);
    EXPECT_EQ(tally.first_output, "frame 3");
    EXPECT_EQ(tally.last_output, "frame 2");
    EXPECT_TRUE(sink.finished);
    // Each equals that picture rendered alone at its frame's time by a fresh node.
    const std::vector<HostPicture> inputs = frames_held(4);
    for (long long n : {3LL, 0LL, 2LL}) {
        NodePtr alone(vx::TrellinNode::make());
        HostPicture out;
        ASSERT_EQ(render_frame(*alone, inputs[std::size_t(n)], out, double(n)), 1);
        EXPECT_EQ(sink.frames.at(n).data, out.data) << "frame " << n;
    }
}

TEST(FrameRun, HeldFramesAreLeftOutAndAStreamRunsUntilItEnds)
{
    NodePtr node = fresh_node();
    MemoryFrameSource source(frames_held(3));
    MemoryFrameSink sink;
    sink.frames[1] = HostPicture(1, 1, 4);  // written by an earlier run
    std::vector<long long> skipped;
    FrameRunWatch watch;
    watch.skipped = [&](long long n) { skipped.push_back(n); };
    FrameRunTally tally = render_frames(*node, source, sink, FrameList{{0, 1, 2}, false}, {0, 0, true}, watch);
    EXPECT_EQ(skipped, std::vector<long long>{1});
    EXPECT_EQ(tally.written, 2);
    EXPECT_EQ(tally.skipped, 1);
    EXPECT_EQ(sink.frames.at(1).width, 1) << "a held frame is not written again";

    // Without skipping, and with no list: 0, 1, 2 until the source ends, at the size asked.
    MemoryFrameSink all;
    tally = render_frames(*node, source, all, FrameList{{}, true}, {12, 8, false});
    EXPECT_EQ(tally.written, 3);
    ASSERT_EQ(all.frames.size(), 3u);
    EXPECT_EQ(all.frames.at(2).width, 12);
    EXPECT_EQ(all.frames.at(2).height, 8);
}

TEST(FrameRun, NotesAreToldOnceAndASinkFaultEndsTheRunAfterTheFramesBeforeIt)
{
    NodePtr node = fresh_node();
    NotingSource source(frames_held(4));
    FailingSink sink(2);
    std::vector<std::string> notes;
    FrameRunWatch watch;
    watch.notes = [&](const std::vector<std::string>& told) { notes.insert(notes.end(), told.begin(), told.end()); };
    try {
        render_frames(*node, source, sink, FrameList{{0, 1, 2, 3}, false}, {}, watch);
        FAIL() << "the sink's fault ends the run";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code, exit_failed);
        EXPECT_EQ(f.message, "cannot write frame 2");
    }
    EXPECT_EQ(sink.frames.size(), 2u) << "frames 0 and 1 are written, none after the fault";
    EXPECT_FALSE(sink.finished) << "a failed run does not complete its output";
    // Frame 1 is read while frame 0 renders, before frame 0 is written; frame 2's note is not told again.
    EXPECT_EQ(notes, (std::vector<std::string>{"input note 1", "sink note"}));
}

}  // namespace
