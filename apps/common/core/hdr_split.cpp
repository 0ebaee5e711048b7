#include "apps/common/core/hdr_split.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"

namespace trellin_app {

namespace {

// A part's picture: `value(x)` of each colour sample of `f`, the picture's
// alpha clipped to 0..1.
template <class Value>
HostPicture part_picture(const std::vector<float>& f, const HostPicture& shape, Value value)
{
    HostPicture part(shape.width, shape.height, shape.samples);
    part.pixel_aspect = shape.pixel_aspect;
    const std::size_t n = std::size_t(shape.samples);
    for_pixel_bands(f.size() / n, [&](int, std::size_t first, std::size_t end) {
        for (std::size_t i = first * n; i < end * n; i += n) {
            for (std::size_t c = 0; c < 3; ++c) part.data[i + c] = from_unit_float(value(f[i + c]));
            if (n == 4) part.data[i + 3] = from_unit_float(f[i + 3]);
        }
    });
    return part;
}

// The light colour held black while it lives (its value and keys come back
// afterwards), so a render adds no highlight.
class BlackLight {
public:
    explicit BlackLight(FXNode& node)
    {
        CWidget* c = node.find_control("Light");
        if (c == nullptr || c->kind() != ControlKind::color) return;
        light_ = c;
        keys_ = light_->keys();
        light_->get_values(values_);
        light_->clear_keys();
        const double black[4] = {0.0, 0.0, 0.0, values_[3]};
        light_->set_values(black);
    }
    ~BlackLight()
    {
        if (light_ == nullptr) return;
        for (const ControlKey& key : keys_) light_->set_key(key);
        light_->set_values(values_);
    }
    BlackLight(const BlackLight&) = delete;
    BlackLight& operator=(const BlackLight&) = delete;

private:
    CWidget* light_ = nullptr;
    std::vector<ControlKey> keys_;
    double values_[4] = {};
};

bool map_shown(const FXNode& node)
{
    const CWidget* c = node.find_control("ShowMap");
    return c != nullptr && c->kind() == ControlKind::boolean && static_cast<const CBoolean*>(c)->state;
}

}  // namespace

SplitParts split_samples(std::vector<float>& f, const HostPicture& shape, ClipCount& clip)
{
    const std::size_t n = std::size_t(shape.samples);
    const std::size_t pixels = f.size() / n;
    // Each band's count and largest excesses, combined afterwards (the
    // largest of the largest is the same however the pixels are cut).
    struct Band {
        ClipCount clip;
        float above = 0.0f, below = 0.0f;
    };
    std::vector<Band> bands(std::size_t(pixel_band_count(pixels)));
    for_pixel_bands(pixels, [&](int k, std::size_t first, std::size_t end) {
        Band& b = bands[std::size_t(k)];
        for (std::size_t i = first * n; i < end * n; i += n) {
            for (std::size_t c = 0; c < 3; ++c) {
                float& x = f[i + c];
                if (!std::isfinite(x)) {
                    b.clip.add(x);
                    x = x > 0.0f ? 1.0f : 0.0f;
                } else if (x > 1.0f) {
                    b.above = std::max(b.above, x - 1.0f);
                } else if (x < 0.0f) {
                    b.below = std::max(b.below, -x);
                }
            }
        }
    });
    float above = 0.0f, below = 0.0f;
    for (const Band& b : bands) {
        clip.merge(b.clip);
        above = std::max(above, b.above);
        below = std::max(below, b.below);
    }
    SplitParts parts;
    if (above > 0.0f) {
        parts.above_scale = above;
        parts.above = part_picture(f, shape, [above](float x) { return x > 1.0f ? (x - 1.0f) / above : 0.0f; });
    }
    if (below > 0.0f) {
        parts.below_scale = below;
        parts.below = part_picture(f, shape, [below](float x) { return x < 0.0f ? -x / below : 0.0f; });
    }
    return parts;
}

void add_parts(std::vector<float>& f, const SplitParts& parts)
{
    const HostPicture& any = parts.above.data.empty() ? parts.below : parts.above;
    if (any.data.empty()) return;
    const std::size_t n = std::size_t(any.samples);
    for_pixel_bands(f.size() / n, [&](int, std::size_t first, std::size_t end) {
        for (std::size_t i = first * n; i < end * n; i += n)
            for (std::size_t c = 0; c < 3; ++c) {
                float v = f[i + c];
                if (!parts.above.data.empty()) v += parts.above_scale * to_unit_float(parts.above.data[i + c]);
                if (!parts.below.data.empty()) v -= parts.below_scale * to_unit_float(parts.below.data[i + c]);
                f[i + c] = v;
            }
    });
}

int render_split(FXNode& node, const HostPicture& input, const SplitParts& parts, HostPicture& result,
                 SplitParts& rendered, double time, int width, int height)
{
    rendered = SplitParts();
    const int done = render_frame(node, input, result, time, width, height);
    if (done == 0 || parts.empty() || map_shown(node)) return done;
    const BlackLight black(node);
    if (!parts.above.data.empty()) {
        if (render_frame(node, parts.above, rendered.above, time, width, height) == 0) return 0;
        rendered.above_scale = parts.above_scale;
    }
    if (!parts.below.data.empty()) {
        if (render_frame(node, parts.below, rendered.below, time, width, height) == 0) return 0;
        rendered.below_scale = parts.below_scale;
    }
    return done;
}

}  // namespace trellin_app
