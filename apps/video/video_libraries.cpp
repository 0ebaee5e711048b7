#include "apps/video/video_libraries.h"

extern "C" {
#include <libavutil/log.h>
}

namespace trellin_video {

void quiet_libraries()
{
    av_log_set_level(AV_LOG_QUIET);
}

}  // namespace trellin_video
