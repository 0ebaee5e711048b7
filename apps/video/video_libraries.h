// FFmpeg's libraries as this program uses them.
#pragma once

namespace trellin_video {

// Keeps the libraries' own log lines off standard error: their faults reach
// the user as the program's one-line messages. Call before using them.
void quiet_libraries();

}  // namespace trellin_video
