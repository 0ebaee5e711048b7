#include "apps/trellin/farm/farm_frames.h"

#include <filesystem>

#include "apps/trellin/farm/farm_script.h"

using trellin_app::FramePattern;
using trellin_app::FrameRange;

namespace trellin_cli {

FrameStatus frame_status(const FramePattern& output, const FrameRange& range)
{
    FrameStatus status;
    status.range = range;
    for (long long f = range.first; f <= range.last; f += range.step) {
        std::error_code ec;
        const bool exists = std::filesystem::is_regular_file(output.path_for(f), ec);
        (exists ? status.done : status.missing).push_back(f);
    }
    return status;
}

std::string frame_runs_text(const std::vector<long long>& frames, long long step)
{
    std::string text;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i;
        while (j + 1 < frames.size() && frames[j + 1] == frames[j] + step) ++j;
        FrameRange run;
        run.first = frames[i];
        run.last = frames[j];
        run.step = step;
        if (!text.empty()) text += ", ";
        text += range_text(run);
        i = j + 1;
    }
    return text;
}

std::string status_text(const FrameStatus& status)
{
    const std::size_t total = status.done.size() + status.missing.size();
    std::string text = "frames " + range_text(status.range) + ": ";
    if (status.missing.empty()) return text + "all " + std::to_string(total) + " done";
    return text + std::to_string(status.done.size()) + " of " + std::to_string(total) + " done, " +
           std::to_string(status.missing.size()) + " missing: " + frame_runs_text(status.missing, status.range.step);
}

}  // namespace trellin_cli
