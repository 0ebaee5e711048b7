#include "apps/common/core/memory_frames.h"

#include <utility>

namespace trellin_app {

std::optional<NodeFrame> MemoryFrameSource::read(long long number)
{
    if (number < 0 || number >= static_cast<long long>(pictures_.size())) return std::nullopt;
    NodeFrame frame;
    frame.picture = pictures_[static_cast<std::size_t>(number)];
    return frame;
}

FrameWritten MemoryFrameSink::write(long long number, HostPicture result, const NodeFrame&, const SplitParts&)
{
    frames[number] = std::move(result);
    return {};
}

}  // namespace trellin_app
