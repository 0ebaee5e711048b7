#include "apps/common/frame_render.h"

namespace trellin_app {

int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time)
{
    output = input;
    node.set_output_size(input.width, input.height);
    node.set_input_length(1);
    node.set_aspect(input.pixel_aspect);

    // The node only reads its input; the host record has no const form.
    _image_str in;
    in.width = input.width;
    in.height = input.height;
    in.samples = input.samples;
    in.flags = 0;
    in.data = const_cast<std::uint16_t*>(input.data.data());
    _image_str out = output.host_image();
    _image_str* inputs[2] = {&in, nullptr};
    return node.process_image(time, inputs, &out);
}

}  // namespace trellin_app
