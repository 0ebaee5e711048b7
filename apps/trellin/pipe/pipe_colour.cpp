#include "apps/trellin/pipe/pipe_colour.h"

#include <cstdlib>
#include <utility>

using namespace trellin_app;

namespace trellin_cli {

NodeFrame UnchangedColour::to_node(HostPicture picture, PictureSource, const std::string&) const
{
    NodeFrame frame;
    frame.picture = std::move(picture);
    return frame;
}

OutputFrame UnchangedColour::from_node(HostPicture result, const NodeFrame&, const OutputForm&, const SplitParts&) const
{
    OutputFrame out;
    out.picture = std::move(result);
    return out;
}

bool UnchangedColour::suffices(const PictureSource& source, const RenderOptions& options)
{
    const char* config = std::getenv("OCIO");
    const bool configured = config != nullptr && *config != '\0';
    return !source.float_samples && !source.associated_alpha && options.colorspace_in.empty() &&
           options.working_space.empty() && options.colorspace_out.empty() &&
           (options.hdr == HdrMode::automatic || options.hdr == HdrMode::none) && !configured;
}

}  // namespace trellin_cli
