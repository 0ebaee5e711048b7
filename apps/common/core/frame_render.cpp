#include "apps/common/core/frame_render.h"

namespace trellin_app {

namespace {

int process(FXNode& node, const HostPicture& input, HostPicture& output, double time)
{
    // The node only reads its input; the host record has no const form.
    _image_str in;
    in.width = input.width;
    in.height = input.height;
    in.samples = input.samples;
    in.flags = 0;
    in.data = const_cast<std::uint16_t*>(input.data.data());
    _image_str out = output.host_image();
    return render_frame(node, in, out, time, output.pixel_aspect);
}

}  // namespace

int render_frame(FXNode& node, const _image_str& input, _image_str& output, double time, double pixel_aspect)
{
    node.set_output_size(output.width, output.height);
    node.set_input_length(1);
    node.set_aspect(pixel_aspect);
    _image_str in = input;
    _image_str* inputs[2] = {&in, nullptr};
    return node.process_image(time, inputs, &output);
}

int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time)
{
    // The node writes every sample of a frame it renders, so the output takes
    // the input's shape but not its samples (and keeps its own buffer); the
    // input's samples come out only where the node refuses the frame or a
    // cancel stops it part way.
    output.width = input.width;
    output.height = input.height;
    output.samples = input.samples;
    output.pixel_aspect = input.pixel_aspect;
    output.attributes = input.attributes;
    output.data.resize(input.data.size());
    const int done = process(node, input, output, time);
    if (done != 1) output.data = input.data;
    return done;
}

int render_frame(FXNode& node, const HostPicture& input, HostPicture& output, double time, int out_width,
                 int out_height)
{
    if (out_width == input.width && out_height == input.height) return render_frame(node, input, output, time);
    output = HostPicture(out_width, out_height, input.samples);
    output.attributes = input.attributes;
    output.pixel_aspect =
        input.pixel_aspect * (double(input.width) * double(out_height)) / (double(out_width) * double(input.height));
    return process(node, input, output, time);
}

}  // namespace trellin_app
