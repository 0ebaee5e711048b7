// The versions of FFmpeg's libraries this program was built against, from
// their headers: printing them loads none of the libraries.
#pragma once

#include <string>

namespace trellin_video {

// "libavformat 59.27.100, libavcodec 59.37.100, ...".
std::string built_library_versions();

}  // namespace trellin_video
