// A video file that cannot be read or written. The message names the file.
#pragma once

#include <stdexcept>
#include <string>

namespace trellin_video {

class VideoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// FFmpeg's text for one of its error codes.
std::string error_text(int code);

}  // namespace trellin_video
