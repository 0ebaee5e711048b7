#include <string>

#include "node/image_exchange.h"
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
                                     std::to_string(image->samples) +
                                     " samples per pixel; only 3 or 4 are supported.";
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

    effect->input.image = import_host_image(input, output);
    effect->input.host_image = input;
    effect->input.input_index = 0;
    effect->input.node = this;
    effect->output.image = import_host_image(output, nullptr);
    if (!effect->input.image || !effect->output.image) {
        delete effect->input.image;
        delete effect->output.image;
        msgwarn("VXKIT plugin: process_image() could not allocate the frame's image records.");
        return 0;
    }

    int width = 0, height = 0;
    get_output_size(width, height);
    const double r = aspect_correction(get_aspect(), width, height);
    const double q = r > 0.0 ? 1.0 / r : 1.0;
    effect->output.image->pixel_aspect = 1.0 / q;

    effect->param.pull_all();
    if (first_frame) {
        first_frame = false;
        effect->on_first_frame();
    }
    effect->render();

    delete effect->input.image;
    // A cancelled render stopped part way: its record is not the frame, so
    // the host's output is left as it was and the frame is not reported done.
    const bool cancelled = effect->abort_requested();
    if (!cancelled)
        export_to_host_image(effect->output.image, output);
    delete effect->output.image;
    return cancelled ? 0 : 1;
}

}  // namespace vx
