// Renders frames through a real node, with controls set by label, for tests
// that check whole renders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "node/trellin_node.h"
#include "support/host_image.h"

namespace testkit {

using Settings = std::vector<std::pair<std::string, std::string>>;

// Sets a control by label from text ("on"/"off", an item name, numbers,
// "r,g,b,a"); fails the test on an unknown label.
void set_control(FXNode& node, const std::string& label, const std::string& value);

// A new node with the given settings.
std::unique_ptr<vx::TrellinNode> make_node(const Settings& settings = {});

// Renders `input` through `node` at time 0 into a new 4-sample image of the
// given size (the input's size when 0).
std::vector<std::uint16_t> render(vx::TrellinNode& node, HostImage& input, int out_w = 0, int out_h = 0);

// FNV-1a over the samples, for golden checks of whole renders.
std::uint64_t checksum(const std::vector<std::uint16_t>& samples);

}  // namespace testkit
