#include "apps/video/video_versions.h"

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
#include <libswscale/version.h>
}

namespace trellin_video {

namespace {

std::string version_text(unsigned v)
{
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

}  // namespace

std::string built_library_versions()
{
    return "libavformat " + version_text(LIBAVFORMAT_VERSION_INT) + ", libavcodec " +
           version_text(LIBAVCODEC_VERSION_INT) + ", libavutil " + version_text(LIBAVUTIL_VERSION_INT) +
           ", libswscale " + version_text(LIBSWSCALE_VERSION_INT) + ", libswresample " +
           version_text(LIBSWRESAMPLE_VERSION_INT);
}

}  // namespace trellin_video
