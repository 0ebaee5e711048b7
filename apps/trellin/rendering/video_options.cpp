#include "apps/trellin/rendering/video_options.h"

#include <string>

#include "apps/common/core/failure.h"
#include "apps/common/core/frame_sequence.h"
#include "apps/video/video_reader.h"

using namespace trellin_app;
using namespace trellin_video;

namespace trellin_cli {

bool numbered_name(const std::string& path)
{
    try {
        return FramePattern(path).numbered();
    } catch (const SequenceError&) {
        return false;
    }
}

void check_video_options(const VideoCodecOptions& codec, const std::string& rate, bool video_in, bool video_out)
{
    if (!video_out) {
        const char* given = !codec.codec.empty()     ? "--codec"
                            : codec.crf >= 0         ? "--crf"
                            : !codec.bitrate.empty() ? "--bitrate"
                            : !codec.pix_fmt.empty() ? "--pix-fmt"
                            : codec.gop > 0          ? "--gop"
                                                     : nullptr;
        if (given != nullptr)
            throw Failure{exit_usage, std::string(given) +
                                          ": OUT is no video (.mov .mkv .mp4 .mxf .webm) but a picture or "
                                          "a sequence of them, which is written without a video codec"};
    }
    if (!rate.empty() && (video_in || !video_out))
        throw Failure{exit_usage, "--rate " + rate + ": " +
                                      (video_in ? std::string("IN is a video, whose frames keep its own timing")
                                                : std::string("OUT is no video")) +
                                      "; --rate times a video made of pictures"};
}

Rational parse_rate(const std::string& text)
{
    Rational rate{25, 1};
    if (text.empty()) return rate;
    const std::size_t slash = text.find('/');
    auto whole = [](const std::string& t, int& v) {
        if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::stoi(t);
        return v > 0;
    };
    if (slash != std::string::npos) {
        if (whole(text.substr(0, slash), rate.num) && whole(text.substr(slash + 1), rate.den)) return rate;
    } else if (whole(text, rate.num)) {
        rate.den = 1;
        return rate;
    } else if (const std::size_t dot = text.find('.');
               dot != std::string::npos && dot + 1 < text.size() && dot + 4 >= text.size()) {
        int units = 0, parts = 0;
        const std::string fraction = text.substr(dot + 1);
        if ((dot == 0 || whole(text.substr(0, dot), units) || text.substr(0, dot) == "0") &&
            fraction.find_first_not_of("0123456789") == std::string::npos) {
            parts = std::stoi(fraction);
            int scale = 1;
            for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10;
            // 23.976, 29.97 and 59.94 are the NTSC rates.
            if ((units == 23 || units == 29 || units == 59) && parts * 1000 / scale >= 970)
                return {(units + 1) * 1000, 1001};
            rate = {units * scale + parts, scale};
            if (rate.num > 0) return rate;
        }
    }
    throw Failure{exit_usage, "--rate " + text + ": not a frame rate (give 25, 24000/1001 or 29.97)"};
}

bool is_video_render(const std::string& input, const std::string& output)
{
    if (is_video_output(output)) return true;
    return !numbered_name(input) && is_video_file(input);
}

}  // namespace trellin_cli
