// Reference pictures of whole renders, kept in the source tree as 16-bit
// PNG files beside the tests that compare against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// The samples of a 16-bit RGBA picture; empty when the file cannot be read
// or is not width x height.
std::vector<std::uint16_t> read_golden_picture(const std::string& path, int width, int height);

// Writes width x height RGBA samples as a 16-bit PNG; false on failure.
bool write_golden_picture(const std::string& path, const std::vector<std::uint16_t>& samples, int width, int height);

}  // namespace testkit
