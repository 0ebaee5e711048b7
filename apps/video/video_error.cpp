#include "apps/video/video_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace trellin_video {

std::string error_text(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace trellin_video
