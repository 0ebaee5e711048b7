// Colour and alpha around the node. The node works on 16-bit samples in 0..1
// with unassociated alpha; pictures come in other colour spaces, with values
// outside 0..1 and with colour multiplied by alpha. On the way in a picture's
// alpha is clipped into 0..1 (alpha_clip.h), the picture is
// freed of alpha (associated inputs are divided by it), converted into the
// working space, optionally put through the log curve of --hdr log
// (hdr_curve.h) or split at 0 and 1 for --hdr split (hdr_split.h), and
// counted where the node's range clips it; on the way out
// the same steps run backwards into the output's space, and associated
// outputs (OpenEXR) are multiplied by the output's alpha again, so no colour
// is left where alpha is 0. Every step but the colour-space conversion is
// the core's (core/frame_colour.h), which hosts without this library share.
//
// Where nothing changes (an integer picture whose space is the working space,
// no --hdr, no associated alpha) the samples go through untouched, so PNG to
// PNG renders are bit for bit what the node makes.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/node_frame.h"
#include "apps/common/core/render_options.h"
#include "apps/common/picture/colour_space.h"
#include "apps/common/picture/image_io.h"
#include "apps/common/picture/source_description.h"

namespace trellin_app {

// The form of a picture file written in `format` at `depth`.
OutputForm file_output_form(const std::string& format, SampleDepth depth);

class PictureColour {
public:
    // For a run with `options`. `spaces` defaults to ColourSpaces::shared(),
    // read when a name needs resolving. Names given in `options` are checked
    // here: a ColourError names the option.
    explicit PictureColour(RenderOptions options, const ColourSpaces* spaces = nullptr);

    const RenderOptions& options() const { return options_; }

    // The frame the node renders from a picture as read. `name` names the
    // picture in notes and errors (a ColourError when a conversion cannot be
    // made).
    NodeFrame to_node(HostPicture picture, PictureSource source, const std::string& name) const;

    // True when integer samples read as `source` (colour and alpha, not
    // premultiplied) reach the node as they are: to_node neither converts
    // nor curves them, so a host may hand the node its own samples.
    bool integers_unconverted(const PictureSource& source) const;
    // True when float samples read as `source` reach the node only clipped
    // (no conversion, no log curve: split, where a frame within 0..1 has no
    // parts) and a result for `form` (floats) leaves in the same space. A
    // frame whose samples are then all within 0..1 goes in as
    // from_unit_float makes them and comes out as to_unit_float makes them,
    // with the input's alpha unless alpha is refracted, multiplied by alpha
    // when `form` is associated: a host may do that in one pass each way.
    bool floats_unconverted(const PictureSource& source, const OutputForm& form) const;
    // The colour space an output of `form` is written in: --colorspace-out,
    // else the convention of its samples (floats linear, integers sRGB).
    std::string output_space(const OutputForm& form) const;

    // The node's result converted for an output of `form` in `space`; its
    // attributes say so (the colour space, and no colour profile of the
    // input's when the space differs from the input's). `parts`: the frame's
    // parts as the node rendered them (render_split), added back.
    // `storage` is reused for the float samples when it is given (the
    // previous frame's `samples`, say).
    OutputFrame from_node(HostPicture result, const NodeFrame& frame, const std::string& space, const OutputForm& form,
                          const SplitParts* parts = nullptr, std::vector<float> storage = {}) const;

    // Builds the conversion the way out of `frame` into `space` takes, so
    // that a config that cannot make it is found before the node renders
    // (a ColourError naming the config's own fault).
    void prepare_output(const NodeFrame& frame, const std::string& space) const;

    // The node's result (with its rendered `parts`) as an sRGB display shows
    // it (16 bits, alpha as it is).
    HostPicture for_display(HostPicture result, const NodeFrame& frame, const SplitParts* parts = nullptr) const;

private:
    // The input and working spaces of a frame read as `source` (`name`
    // names it in a note when its metadata names a space the configuration
    // lacks).
    void name_spaces(const PictureSource& source, const std::string& name, NodeFrame& frame) const;
    const ColourSpaces& spaces() const;
    bool same(const std::string& a, const std::string& b) const;
    ConversionPtr conversion(const std::string& from, const std::string& to, const std::string& name) const;

    RenderOptions options_;
    const ColourSpaces* spaces_;
};

// How a picture was made, for its metadata.
struct RenderRecord {
    nlohmann::json project;  // the node's settings document (RegV) with the "render" member
    std::string input;       // the input as named
    long long frame = 0;     // the frame number it rendered at
};

// The settings document a picture written from `frame` in `space` carries.
nlohmann::json picture_settings_document(const RenderRecord& record, const NodeFrame& frame, const std::string& space);

// Writes the node's result to `path`: converted for the output (format and
// depth from the path and `options`), with Software and the settings in its
// metadata. The samples its format clipped are added to `clipped`. `parts`
// as from_node takes them.
WriteReport write_rendered(const PictureColour& colour, HostPicture result, const NodeFrame& frame,
                           const std::string& path, const WriteOptions& options, const RenderRecord& record,
                           ClipCount& clipped, const SplitParts* parts = nullptr);

// One line about samples clipped before the node in frames rendered in
// `mode`: how many colour samples, the lowest and highest, and what keeps
// them; then, apart, how many alpha samples were clipped into 0..1
// (alpha_clip.h). Empty when none were.
std::string clip_note(const ClipCount& count, HdrMode mode, const std::string& working_space);

}  // namespace trellin_app
