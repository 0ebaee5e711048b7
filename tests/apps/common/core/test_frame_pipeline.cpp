// Frames read, rendered and written in order with the files beside the
// render: every frame written in order at its own time, the run ending where
// the stream ends, and a fault reported after the frames before it are
// written, the earliest fault winning.
// test-labels: threaded
// test-links: trellin_app_picture
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/common/core/module_loader.h"
#include "apps/common/core/frame_pipeline.h"
#include "node/trellin_node.h"

namespace {

using namespace trellin_app;

struct Fault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class FramePipelineTest : public ::testing::Test {
protected:
    // Frames 0..count-1 of a 32x24 picture; `read_fault`/`write_fault` name a
    // frame whose read or write fails (-1: none).
    PipelineStages stages(long long count, long long read_fault = -1, long long write_fault = -1)
    {
        PipelineStages s;
        s.read = [=, this](const PipelineFrame& f) -> std::optional<NodeFrame> {
            if (f.number == read_fault) throw Fault("read " + std::to_string(f.number));
            if (f.number >= count) return std::nullopt;
            NodeFrame frame;
            frame.picture = HostPicture(32, 24, 4);
            for (std::size_t i = 0; i < frame.picture.data.size(); ++i)
                frame.picture.data[i] = std::uint16_t(i * 997 + f.number * 31);
            std::lock_guard<std::mutex> hold(lock_);
            events_.push_back("read " + std::to_string(f.number));
            return frame;
        };
        s.write = [=, this](const PipelineFrame& f, HostPicture result, const NodeFrame& frame, const SplitParts&) {
            EXPECT_TRUE(frame.picture.data.empty()) << "the input's samples are let go before the write";
            if (f.number == write_fault) throw Fault("write " + std::to_string(f.number));
            std::lock_guard<std::mutex> hold(lock_);
            sizes_.push_back({result.width, result.height});
            FrameWritten w;
            w.report.format = "frame " + std::to_string(f.number);
            return w;
        };
        s.on_written = [this](const PipelineFrame& f, const FrameWritten& w) {
            EXPECT_EQ(w.report.format, "frame " + std::to_string(f.number));
            written_.push_back(f.number);
        };
        return s;
    }

    std::string fault_of(const PipelineStages& s)
    {
        try {
            run_pipeline(*node_, s);
        } catch (const Fault& e) {
            return e.what();
        }
        return "none";
    }

    NodePtr node_{vx::TrellinNode::make()};
    std::mutex lock_;
    std::vector<std::string> events_;
    std::vector<std::vector<int>> sizes_;
    std::vector<long long> written_;
};

TEST_F(FramePipelineTest, EveryFrameIsWrittenInOrderAtTheSizeAskedUntilTheStreamEnds)
{
    EXPECT_EQ(run_pipeline(*node_, stages(5), 16, 12), 5);
    EXPECT_EQ(written_, (std::vector<long long>{0, 1, 2, 3, 4}));
    EXPECT_EQ(sizes_, std::vector<std::vector<int>>(5, {16, 12}));
    EXPECT_EQ(events_.size(), 5u);

    // Frames named by `next` render at their own numbers; none: nothing runs.
    written_.clear();
    PipelineStages s = stages(100);
    std::vector<long long> plan{10, 20, 30};
    s.next = [&plan]() -> std::optional<PipelineFrame> {
        if (plan.empty()) return std::nullopt;
        const long long n = plan.front();
        plan.erase(plan.begin());
        return PipelineFrame{n, "in", "out"};
    };
    EXPECT_EQ(run_pipeline(*node_, s), 3);
    EXPECT_EQ(written_, (std::vector<long long>{10, 20, 30}));
    EXPECT_EQ(run_pipeline(*node_, s), 0);
}

// A result handed back once written is the storage a later frame renders
// into, and every input comes back to the stages once rendered: a run of
// any length works in two result buffers.
TEST_F(FramePipelineTest, WrittenResultsAndRenderedInputsAreUsedAgain)
{
    PipelineStages s = stages(8);
    std::set<const std::uint16_t*> buffers;
    int inputs_back = 0;
    const auto write = s.write;
    s.write = [&](const PipelineFrame& f, HostPicture result, const NodeFrame& frame, const SplitParts& parts) {
        const std::uint16_t* data = result.data.data();
        FrameWritten w = write(f, result, frame, parts);
        std::lock_guard<std::mutex> hold(lock_);
        buffers.insert(data);
        w.spare = std::move(result);
        return w;
    };
    s.reuse_input = [&](HostPicture picture) {
        EXPECT_EQ(picture.data.size(), std::size_t(32 * 24 * 4));
        ++inputs_back;
    };
    EXPECT_EQ(run_pipeline(*node_, s), 8);
    EXPECT_EQ(written_.size(), 8u);
    EXPECT_EQ(buffers.size(), 2u);
    EXPECT_EQ(inputs_back, 8);
}

// Storage given back that no stage fills again (a still's copies, read once)
// is let go, not held to the run's end: a run of any length keeps two.
TEST_F(FramePipelineTest, SparesNoStageTakesAgainAreLetGo)
{
    SparePictures spares;
    for (int frame = 0; frame < 10; ++frame) spares.give(HostPicture(32, 24, 4));
    int kept = 0;
    while (!spares.take().data.empty()) ++kept;
    EXPECT_EQ(kept, 2);
}

TEST_F(FramePipelineTest, AFaultStopsTheRunAfterTheFramesBeforeItAndTheEarliestWins)
{
    EXPECT_EQ(fault_of(stages(10, 3)), "read 3");
    EXPECT_EQ(written_, (std::vector<long long>{0, 1, 2}));

    written_.clear();
    EXPECT_EQ(fault_of(stages(10, -1, 2)), "write 2");
    EXPECT_EQ(written_, (std::vector<long long>{0, 1}));

    // Frame 3's read fails while frame 2's write fails: frame 2's is reported.
    written_.clear();
    EXPECT_EQ(fault_of(stages(10, 3, 2)), "write 2");
    EXPECT_EQ(written_, (std::vector<long long>{0, 1}));
}

}  // namespace
