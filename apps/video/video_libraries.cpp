#include "apps/video/video_libraries.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace trellin_video {

namespace {

std::string version_text(unsigned v)
{
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

}  // namespace

void quiet_libraries()
{
    av_log_set_level(AV_LOG_QUIET);
}

std::string library_versions()
{
    return "libavformat " + version_text(avformat_version()) + ", libavcodec " + version_text(avcodec_version()) +
           ", libavutil " + version_text(avutil_version()) + ", libswscale " + version_text(swscale_version()) +
           ", libswresample " + version_text(swresample_version());
}

}  // namespace trellin_video
