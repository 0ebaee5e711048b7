#include "apps/obs/glass_render.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "apps/common/core/clip_count.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"
#include "apps/obs/frame_colour.h"

namespace trellin_obs {

GlassRender::GlassRender(trellin_app::NodePtr node) : node_(std::move(node)) {}

void GlassRender::take(const trellin_app::SettingsSnapshot& settings)
{
    settings.apply_to(*node_);
}

bool GlassRender::render_frame(obs_source_frame& frame, double time)
{
    if (frame.width == 0 || frame.height == 0) return false;
    switch (frame_kind(frame.format)) {
    case FrameKind::packed_rgb:
        read_packed(frame, input_);
        if (trellin_app::render_frame(*node_, input_, output_, time) != 1) return false;
        write_packed(output_, frame);
        return true;
    case FrameKind::yuv:
        return render_yuv(frame, time);
    case FrameKind::unsupported:
        break;
    }
    return false;
}

bool GlassRender::render_yuv(obs_source_frame& frame, double time)
{
    YuvColour colour;
    if (!yuv_colour(frame, colour)) return false;
    const int w = int(frame.width), h = int(frame.height);
    if (frame.format != VIDEO_FORMAT_P010) {
        // 8-bit YUV is standard range, rendered as 8-bit pictures are: what
        // its RGB has outside 0..1 is clipped.
        read_yuv(frame, colour, input_);
        if (trellin_app::render_frame(*node_, input_, output_, time) != 1) return false;
        write_yuv(output_, colour, frame);
        return true;
    }

    // 10-bit frames (OBS's HDR modes among them) keep what lies outside
    // 0..1: a frame that reaches outside goes through the split.
    read_yuv(frame, colour, rgb_);
    if (input_.width != w || input_.height != h || input_.samples != 3) input_ = trellin_app::HostPicture(w, h, 3);
    std::atomic<bool> within{true};
    trellin_app::for_row_bands(h, w, [&](int first, int end) {
        const std::size_t begin = std::size_t(first) * std::size_t(w) * 3;
        const std::size_t n = std::size_t(end - first) * std::size_t(w) * 3;
        if (!trellin_app::unit_floats_to_words(rgb_.data() + begin, n, input_.data.data() + begin))
            within.store(false, std::memory_order_relaxed);
    });
    if (within.load()) {
        if (trellin_app::render_frame(*node_, input_, output_, time) != 1) return false;
        write_yuv(output_, colour, frame);
        return true;
    }
    trellin_app::ClipCount clip;
    trellin_app::SplitParts parts = trellin_app::split_samples(rgb_, input_, clip);
    std::transform(rgb_.begin(), rgb_.end(), input_.data.begin(), trellin_app::from_unit_float);
    if (trellin_app::render_split(*node_, input_, parts, output_, rendered_, time, w, h) != 1) return false;
    std::transform(output_.data.begin(), output_.data.end(), rgb_.begin(), trellin_app::to_unit_float);
    trellin_app::add_parts(rgb_, rendered_);
    write_yuv(rgb_, colour, frame);
    return true;
}

bool GlassRender::render_rgba(const std::uint8_t* in, int width, int height, std::uint32_t stride,
                              std::vector<std::uint8_t>& out, double time)
{
    if (input_.width != width || input_.height != height || input_.samples != 4)
        input_ = trellin_app::HostPicture(width, height, 4);
    const std::size_t row = std::size_t(width) * 4;
    out.resize(row * std::size_t(height));
    trellin_app::for_row_bands(height, width, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            trellin_app::from_8bit_samples(in + std::size_t(y) * stride, input_.data.data() + std::size_t(y) * row,
                                           row);
    });
    const bool rendered = trellin_app::render_frame(*node_, input_, output_, time) == 1;
    trellin_app::for_row_bands(height, width, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            if (rendered)
                trellin_app::to_8bit_samples(output_.data.data() + std::size_t(y) * row,
                                             out.data() + std::size_t(y) * row, row);
            else
                std::memcpy(out.data() + std::size_t(y) * row, in + std::size_t(y) * stride, row);
        }
    });
    return rendered;
}

}  // namespace trellin_obs
