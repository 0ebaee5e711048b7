#include "support/node_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace testkit {

void set_control(FXNode& node, const std::string& label, const std::string& value)
{
    CWidget* w = node.find_control(label);
    ASSERT_NE(w, nullptr) << "no control " << label;
    switch (w->kind()) {
    case ControlKind::numeric:
        static_cast<CNumeric*>(w)->value = std::strtod(value.c_str(), nullptr);
        break;
    case ControlKind::boolean:
        static_cast<CBoolean*>(w)->state = value == "on";
        break;
    case ControlKind::option: {
        auto* o = static_cast<COption*>(w);
        bool found = false;
        for (std::size_t i = 0; i < o->items().size(); ++i)
            if (o->items()[i] == value) {
                o->index = int(i);
                found = true;
            }
        ASSERT_TRUE(found) << value;
        break;
    }
    case ControlKind::color: {
        std::istringstream in(value);
        auto* c = static_cast<CColor*>(w);
        char comma;
        in >> c->rgba[0] >> comma >> c->rgba[1] >> comma >> c->rgba[2] >> comma >> c->rgba[3];
        break;
    }
    case ControlKind::label:
        FAIL() << "label " << label;
    }
}

std::unique_ptr<vx::TrellinNode> make_node(const Settings& settings)
{
    std::unique_ptr<vx::TrellinNode> node(vx::TrellinNode::make());
    node->set_input_length(1);
    for (const auto& [label, value] : settings) set_control(*node, label, value);
    return node;
}

std::vector<std::uint16_t> render(vx::TrellinNode& node, HostImage& input, int out_w, int out_h)
{
    if (out_w == 0) {
        out_w = input.image.width;
        out_h = input.image.height;
    }
    HostImage output(out_w, out_h, 4);
    node.set_output_size(out_w, out_h);
    _image_str* inputs[] = {input.get(), nullptr};
    EXPECT_EQ(node.process_image(0.0, inputs, output.get()), 1);
    return output.samples;
}

std::uint64_t checksum(const std::vector<std::uint16_t>& samples)
{
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint16_t s : samples) {
        h = (h ^ (s & 0xFF)) * 1099511628211ull;
        h = (h ^ (s >> 8)) * 1099511628211ull;
    }
    return h;
}

}  // namespace testkit
