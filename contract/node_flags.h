// Flags a host passes to a Trellin node through FXNode::set_flags. The node
// keeps only what it knows; a host that never calls set_flags gets a node
// with every flag off.
#pragma once

#include <cstdint>

namespace vx {

// Alpha is refracted with the colour instead of being kept where it was.
inline constexpr std::uint32_t node_flag_refract_alpha = 1u << 0;

}  // namespace vx
