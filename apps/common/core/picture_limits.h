// How large a picture the programs take, checked from its declared size
// before any memory is allocated for it.
//
// A side may be at most max_picture_side pixels (the frei0r module, the
// pipe's frame size and pictures read from files share the limit), and a
// frame must fit in the machine's memory: rendering one takes about
// render_bytes_per_pixel bytes for every pixel (the picture read, the node's
// working copies and buffers, the result and its encoded file).
#pragma once

#include <cstdint>
#include <string>

namespace trellin_app {

inline constexpr long long max_picture_side = 16384;
inline constexpr long long render_bytes_per_pixel = 100;

// The memory the process can use: the machine's physical memory, or less
// when a resource limit on the address space or data says so.
std::uint64_t usable_memory_bytes();

// Why a width x height picture cannot be taken, or "" when it can. `memory`
// is the memory to fit in (usable_memory_bytes() when 0).
std::string picture_size_fault(long long width, long long height, std::uint64_t memory = 0);

}  // namespace trellin_app
