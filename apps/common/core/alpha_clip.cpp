#include "apps/common/core/alpha_clip.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "apps/common/core/pixel_bands.h"

namespace trellin_app {

namespace {

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", double(v));
    return text;
}

}  // namespace

void clip_alpha(float* samples, std::size_t pixels, ClipCount& clip)
{
    std::vector<ClipCount> bands(std::size_t(pixel_band_count(pixels)));
    for_pixel_bands(pixels, [&](int band, std::size_t first, std::size_t end) {
        ClipCount& count = bands[std::size_t(band)];
        for (std::size_t p = first; p < end; ++p) {
            float& a = samples[p * 4 + 3];
            if (a >= 0.0f && a <= 1.0f) continue;
            count.add_alpha(a);
            a = a > 1.0f ? 1.0f : 0.0f;  // NaN fails both tests: 0
        }
    });
    for (const ClipCount& count : bands) clip.merge(count);
    clip.alpha_total += static_cast<long long>(pixels);
}

std::string alpha_clip_note(const ClipCount& clip)
{
    if (clip.alpha_clipped == 0) return {};
    std::string note = std::to_string(clip.alpha_clipped) + " of " + std::to_string(clip.alpha_total) +
                       " alpha samples lay outside 0..1";
    const long long finite = clip.alpha_clipped - clip.alpha_non_finite;
    if (finite > 0) {
        note += " (lowest " + number(clip.alpha_lowest) + ", highest " + number(clip.alpha_highest);
        if (clip.alpha_non_finite > 0) note += ", and " + std::to_string(clip.alpha_non_finite) + " not finite";
        note += ")";
    } else {
        note += " (not finite: NaN or infinite)";
    }
    return note + " and were clipped to it";
}

}  // namespace trellin_app
