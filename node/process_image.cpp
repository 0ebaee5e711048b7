#include <string>

#include "pixels/image_exchange.h"
#include "node/trellin_node.h"

namespace vx {

int TrellinNode::process_image(double time, _image_str** inputs, _image_str* output)
{
    if (!output) {
        msgwarn("VXKIT plugin: process_image() called with no output image.");
        return 0;
    }
    _image_str* input = inputs ? inputs[0] : nullptr;
    if (!input) {
        msgwarn("VXKIT plugin: process_image() called with no valid input images.");
        return 0;
    }
    // The conversions read 3 or 4 samples per pixel; anything else would read
    // past the host's samples or misplace them.
    for (const _image_str* image : {input, output}) {
        if (image->samples != 3 && image->samples != 4) {
            const std::string text = "VXKIT plugin: process_image() called with an image of " +
                                     std::to_string(image->samples) + " samples per pixel; only 3 or 4 are supported.";
            msgwarn(text.c_str());
            return 0;
        }
        if (image->width < 1 || image->height < 1 || !image->data) {
            msgwarn("VXKIT plugin: process_image() called with an empty image.");
            return 0;
        }
    }

    effect->time = time;
    FXNode::evaluate_controls(time, false);
    effect->input_length = static_cast<double>(get_input_length(0));

    if (!images_.prepare(input, output, effect->reads_host_input())) {
        msgwarn("VXKIT plugin: process_image() could not allocate the frame's image records.");
        return 0;
    }
    int width = 0, height = 0;
    get_output_size(width, height);
    const double r = aspect_correction(get_aspect(), width, height);
    const double q = r > 0.0 ? 1.0 / r : 1.0;
    images_.output->pixel_aspect = 1.0 / q;

    pull_typed_controls(effect->param);
    if (first_frame) {
        first_frame = false;
        effect->on_first_frame();
    }
    RenderRequest request;
    request.input = images_.input;
    request.unread_input = images_.needs_reading() ? input : nullptr;
    request.output = images_.output;
    request.host_output = output;
    request.refract_alpha = refract_alpha;
    request.show_map = effect->param.show_map.value;
    request.kernels = kernels;
    const bool host_written = effect->render(request);

    // A cancelled render stopped part way: the frame is not reported done and
    // its record is not exported. (The fast path writes the host's rows as it
    // goes, so a frame cancelled mid-way leaves the rows it had finished.)
    const bool cancelled = effect->abort_requested();
    if (host_written)
        output->flags = static_cast<std::uint8_t>(output->flags & ~IMAGE_BOTTOM_UP);
    else if (!cancelled)
        export_to_host_image(images_.output, output);
    return cancelled ? 0 : 1;
}

}  // namespace vx
