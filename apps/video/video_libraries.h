// FFmpeg's libraries as this program uses them.
#pragma once

#include <string>

namespace trellin_video {

// Keeps the libraries' own log lines off standard error: their faults reach
// the user as the program's one-line messages. Call before using them.
void quiet_libraries();

// "libavformat 59.27.100, libavcodec 59.37.100, ..." : the libraries loaded.
std::string library_versions();

}  // namespace trellin_video
