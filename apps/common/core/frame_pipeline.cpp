#include "apps/common/core/frame_pipeline.h"

#include <exception>
#include <future>
#include <memory>
#include <utility>

#include "apps/common/core/hdr_split.h"
#include "apps/common/core/stage_thread.h"

namespace trellin_app {

FrameRefused::FrameRefused(PipelineFrame refused)
    : std::runtime_error(refused.input + ": the effect refused the frame"), frame(std::move(refused))
{
}

namespace {

class Pipeline {
public:
    Pipeline(FXNode& node, const PipelineStages& stages, int width, int height)
        : node_(node), stages_(stages), width_(width), height_(height)
    {
    }

    // Waits for whatever is still being read or written before the run
    // ends, also when it ends in a fault (their faults are dropped then).
    ~Pipeline()
    {
        if (reading_.valid()) reading_.wait();
        if (writing_.valid()) writing_.wait();
    }

    long long run()
    {
        std::optional<PipelineFrame> current = next();
        if (current) read_async(*current);
        while (current) {
            const PipelineFrame f = *current;
            auto frame = std::make_shared<NodeFrame>();
            try {
                std::optional<NodeFrame> read = reading_.get();
                if (!read) break;
                *frame = std::move(*read);
            } catch (...) {
                // The frame before this one is written first; its fault, if
                // any, is the one reported.
                finish_write();
                throw;
            }
            current = next();
            if (current) read_async(*current);
            if (stages_.on_read) stages_.on_read(f, *frame);

            const HostPicture& picture = frame->picture;
            // The result renders into the storage of one written before.
            auto result = std::make_shared<HostPicture>(std::move(spare_result_));
            spare_result_ = HostPicture();
            auto parts = std::make_shared<SplitParts>();
            const int w = width_ > 0 ? width_ : picture.width;
            const int h = height_ > 0 ? height_ : picture.height;
            const bool rendered =
                render_split(node_, picture, frame->parts, *result, *parts, static_cast<double>(f.number), w, h) != 0;
            finish_write();
            if (!rendered) throw FrameRefused(f);
            // The input's samples are no longer needed.
            if (stages_.reuse_input) stages_.reuse_input(std::move(frame->picture));
            frame->picture = HostPicture();
            frame->parts = SplitParts();
            const PipelineStages& stages = stages_;
            writing_ = writer_.run(
                [&stages, result, parts, frame, f] { return stages.write(f, std::move(*result), *frame, *parts); });
            written_ = f;
        }
        finish_write();
        return count_;
    }

private:
    std::optional<PipelineFrame> next()
    {
        if (stages_.next) return stages_.next();
        return PipelineFrame{counter_++, {}, {}};
    }

    void read_async(const PipelineFrame& f)
    {
        const PipelineStages& stages = stages_;
        reading_ = reader_.run([&stages, f] { return stages.read(f); });
    }

    void finish_write()
    {
        if (!written_) return;
        const PipelineFrame f = *written_;
        written_.reset();
        FrameWritten w = writing_.get();
        spare_result_ = std::move(w.spare);
        ++count_;
        if (stages_.on_written) stages_.on_written(f, w);
    }

    FXNode& node_;
    const PipelineStages& stages_;
    int width_;
    int height_;
    long long counter_ = 0;
    long long count_ = 0;
    // The threads outlive the futures of their tasks.
    StageThread reader_, writer_;
    std::future<std::optional<NodeFrame>> reading_;
    std::future<FrameWritten> writing_;
    std::optional<PipelineFrame> written_;  // the frame `writing_` writes
    HostPicture spare_result_;              // a written result's storage
};

}  // namespace

long long run_pipeline(FXNode& node, const PipelineStages& stages, int width, int height)
{
    return Pipeline(node, stages, width, height).run();
}

}  // namespace trellin_app
