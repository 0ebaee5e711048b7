#include "apps/common/core/convention_colour.h"

#include <stdexcept>
#include <utility>

#include "apps/common/core/frame_colour.h"
#include "apps/common/core/render_options.h"

namespace trellin_app {

namespace {

const char* space_of(bool float_samples)
{
    return float_samples ? convention_linear_space : convention_srgb_space;
}

}  // namespace

bool same_convention(const PictureSource& source, const OutputForm& form)
{
    return source.float_samples == form.float_samples;
}

bool convention_integers_unconverted(const PictureSource& source)
{
    return !source.float_samples && !source.associated_alpha;
}

bool convention_floats_unconverted(const PictureSource& source, const OutputForm& form)
{
    return source.float_samples && form.float_samples;
}

NodeFrame convention_to_node(HostPicture picture, PictureSource source)
{
    NodeFrame frame;
    frame.input_space = space_of(source.float_samples);
    frame.working_space = frame.input_space;
    frame.hdr = picture_hdr_mode(HdrMode::automatic, source.float_samples);
    FloatsIn how;
    how.float_samples = source.float_samples;
    how.associated_alpha = source.associated_alpha;
    how.hdr = frame.hdr;
    floats_into_node(std::move(source.samples), std::move(picture), how, SpaceStep(), frame);
    return frame;
}

OutputFrame convention_from_node(HostPicture result, const NodeFrame& frame, const OutputForm& form,
                                 const SplitParts* parts, std::vector<float> storage)
{
    if (frame.working_space != space_of(form.float_samples))
        throw std::invalid_argument(std::string("an output in ") + space_of(form.float_samples) + " from a frame in " +
                                    frame.working_space + " takes a colour conversion");
    OutputFrame out;
    out.space = frame.working_space;
    FloatsOut how;
    how.form = form;
    how.input_alpha = true;
    floats_out_of_node(result, frame, parts, how, SpaceStep(), std::move(storage), out);
    out.picture = std::move(result);
    return out;
}

}  // namespace trellin_app
