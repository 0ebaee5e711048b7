// The frame entry (process_image) with every control at a value from the
// input, within the control's range as the host keeps it, on a tiny picture
// (1 to 8 pixels a side, colour or colour and alpha) rendered at its own or
// another size, aspect and time. Property: every such frame renders.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_node.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trellin_fuzz;
    FuzzInput input(data, size);
    const int width = 1 + input.byte() % 8, height = 1 + input.byte() % 8;
    const int samples = input.byte() % 2 == 0 ? 3 : 4;
    const bool resized = input.byte() % 2 == 1;
    const int out_width = resized ? 1 + input.byte() % 8 : width;
    const int out_height = resized ? 1 + input.byte() % 8 : height;
    const double aspect = std::pow(4.0, 2.0 * input.unit() - 1.0);  // 0.25 to 4
    const double time = std::floor(input.unit() * 200.0) - 100.0;

    NodeHandle node = new_node();
    for (int i = 0; i < node->num_controls(); ++i) {
        CWidget* c = node->control(i);
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        switch (c->kind()) {
        case ControlKind::numeric: {
            const auto& n = static_cast<const CNumeric&>(*c);
            v[0] = n.minimum + (n.maximum - n.minimum) * input.unit();
            break;
        }
        case ControlKind::boolean:
            v[0] = input.byte() % 2;
            break;
        case ControlKind::option:
            v[0] = input.byte() % static_cast<const COption&>(*c).items().size();
            break;
        case ControlKind::color:
            for (double& x : v) x = input.unit();
            break;
        case ControlKind::label:
            continue;
        }
        c->set_values(v);
    }

    std::vector<std::uint16_t> in(std::size_t(width) * height * samples);
    for (std::uint16_t& s : in) s = static_cast<std::uint16_t>((input.byte() << 8) | input.byte());
    std::vector<std::uint16_t> out(std::size_t(out_width) * out_height * samples, 0);
    _image_str in_image{width, height, samples, 0, in.data()};
    _image_str out_image{out_width, out_height, samples, 0, out.data()};
    _image_str* inputs[2] = {&in_image, nullptr};
    node->set_output_size(out_width, out_height);
    node->set_input_length(1);
    node->set_aspect(aspect);
    if (node->process_image(time, inputs, &out_image) != 1) broken("a frame was refused");
    return 0;
}
