// Frames held in memory: a source of pictures given up front and a sink that
// keeps what it is given. For programs that hold their frames themselves,
// and for checking a run without files.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "apps/common/core/frame_source.h"

namespace trellin_app {

// Frame k is pictures[k] (16-bit samples, in the space the node works in);
// the source ends after the last.
class MemoryFrameSource : public FrameSource {
public:
    explicit MemoryFrameSource(std::vector<HostPicture> pictures) : pictures_(std::move(pictures)) {}
    std::string frame_name(long long number) const override { return "frame " + std::to_string(number); }
    std::optional<NodeFrame> read(long long number) override;

private:
    std::vector<HostPicture> pictures_;
};

// Keeps each result by its frame number.
class MemoryFrameSink : public FrameSink {
public:
    std::string frame_name(long long number) const override { return "frame " + std::to_string(number); }
    bool holds(long long number) const override { return frames.count(number) != 0; }
    FrameWritten write(long long number, HostPicture result, const NodeFrame& frame, const SplitParts& parts) override;
    void finish() override { finished = true; }

    std::map<long long, HostPicture> frames;
    bool finished = false;
};

}  // namespace trellin_app
