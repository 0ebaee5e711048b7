// The colour handling of piped frames around the node. The picture library
// converts colour spaces, alpha and values outside 0..1 (PictureColour);
// the program itself passes 16-bit frames that need none of that through
// unchanged (UnchangedColour), so that such a pipe starts without loading
// the picture library.
#pragma once

#include <string>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/picture_source.h"
#include "apps/common/core/render_options.h"

namespace trellin_cli {

class PipeColour {
public:
    virtual ~PipeColour() = default;
    // The frame the node renders from the frame read as `source`, with its
    // way out checked before it renders; a Failure (exit code 2) when either
    // cannot be made. `name` names the frame in messages.
    virtual trellin_app::NodeFrame to_node(trellin_app::HostPicture picture, trellin_app::PictureSource source,
                                           const std::string& name) const = 0;
    // The node's result for the output `form`, with the `parts` rendered
    // beside the frame added back (a Failure, exit code 2, when it cannot be
    // converted).
    virtual trellin_app::OutputFrame from_node(trellin_app::HostPicture result, const trellin_app::NodeFrame& frame,
                                               const trellin_app::OutputForm& form,
                                               const trellin_app::SplitParts& parts) const = 0;
    // The notes printed once at the run's end on samples clipped before the
    // node and when written.
    virtual void print_notes(const trellin_app::ClipCount& before, const trellin_app::ClipCount& written,
                             trellin_app::HdrMode hdr, const std::string& working_space) const = 0;
};

// 16-bit frames in and out with straight alpha, in one colour space, no
// --hdr: the node renders the samples read and its result is written as it
// is, so nothing is clipped and there is nothing to note.
class UnchangedColour : public PipeColour {
public:
    trellin_app::NodeFrame to_node(trellin_app::HostPicture picture, trellin_app::PictureSource source,
                                   const std::string& name) const override;
    trellin_app::OutputFrame from_node(trellin_app::HostPicture result, const trellin_app::NodeFrame& frame,
                                       const trellin_app::OutputForm& form,
                                       const trellin_app::SplitParts& parts) const override;
    void print_notes(const trellin_app::ClipCount&, const trellin_app::ClipCount&, trellin_app::HdrMode,
                     const std::string&) const override
    {
    }

    // True when frames of `source` rendered with `options` need nothing
    // but UnchangedColour: integer samples with straight alpha, no colour
    // space named, no --hdr but none, and no colour configuration in $OCIO
    // (which is read, and its faults told, before any frame).
    static bool suffices(const trellin_app::PictureSource& source, const trellin_app::RenderOptions& options);
};

}  // namespace trellin_cli
