#include "apps/frei0r/filter_instance.h"

#include "apps/frei0r/frei0r_api.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/nearest_name.h"
#include "apps/common/core/pixel_bands.h"
#include "apps/common/core/sample_convert.h"
#include "host/value_excerpt.h"

namespace trellin_frei0r {

std::unique_ptr<FilterInstance> FilterInstance::create(const Effect& effect, unsigned width, unsigned height)
{
    if (width == 0 || height == 0 || width > max_side || height > max_side) return nullptr;
    try {
        trellin_app::NodePtr node = effect.module.create_node();
        return std::unique_ptr<FilterInstance>(
            new FilterInstance(effect, std::move(node), static_cast<int>(width), static_cast<int>(height)));
    } catch (const std::exception&) {
        return nullptr;
    }
}

FilterInstance::FilterInstance(const Effect& effect, trellin_app::NodePtr node, int width, int height)
    : effect_(effect),
      node_(std::move(node)),
      width_(width),
      height_(height),
      units_(effect.parameters.size(), 0.0),
      warned_(effect.parameters.size())
{
    // A new node's controls hold their defaults already; the 0..1 values
    // follow from them.
    for (std::size_t i = 0; i < effect_.parameters.size(); ++i) {
        const Parameter& p = effect_.parameters[i];
        const CWidget* c = control(static_cast<int>(i));
        if (p.kind == ControlKind::numeric && c != nullptr)
            units_[i] = unit_value(p, static_cast<const CNumeric*>(c)->value);
    }
}

CWidget* FilterInstance::control(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= effect_.parameters.size()) return nullptr;
    const Parameter& p = effect_.parameters[static_cast<std::size_t>(index)];
    if (p.control_index < 0 || p.control_index >= node_->num_controls()) return nullptr;
    // Every node of the module has the same controls; the check keeps a cast
    // to the wrong kind out whatever happens.
    CWidget* c = node_->control(p.control_index);
    return c != nullptr && c->kind() == p.kind ? c : nullptr;
}

void FilterInstance::set_parameter(int index, const void* param)
{
    std::lock_guard<std::mutex> lock(mutex_);
    CWidget* c = control(index);
    if (c == nullptr || param == nullptr) return;
    const Parameter& p = effect_.parameters[static_cast<std::size_t>(index)];
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    switch (p.kind) {
    case ControlKind::numeric: {
        const double u = *static_cast<const double*>(param);
        if (std::isnan(u)) return;
        // Giving back the value get_parameter reported keeps the control as
        // it is (a host that copies defaults across must not move them).
        double& unit = units_[static_cast<std::size_t>(index)];
        if (clamp_unit(u) == unit) return;
        unit = clamp_unit(u);
        values[0] = control_value(p, u);
        break;
    }
    case ControlKind::boolean: {
        const double u = *static_cast<const double*>(param);
        if (std::isnan(u)) return;
        values[0] = u >= 0.5 ? 1.0 : 0.0;
        break;
    }
    case ControlKind::option: {
        const char* name = *static_cast<const char* const*>(param);
        const int item = item_index(p, name);
        if (item < 0) {
            warn_unknown_item(index, name);
            return;
        }
        values[0] = item;
        break;
    }
    case ControlKind::color: {
        const auto* colour = static_cast<const f0r_param_color_t*>(param);
        c->get_values(values);
        const float given[3] = {colour->r, colour->g, colour->b};
        for (int k = 0; k < 3; ++k) {
            if (!std::isnan(given[k])) values[k] = clamp_unit(given[k]);
        }
        values[3] = 1.0;
        break;
    }
    case ControlKind::label:
        return;
    }
    c->set_values(values);
}

void FilterInstance::warn_unknown_item(int index, const char* name)
{
    const std::string given = name != nullptr ? name : "";
    std::string& warned = warned_[static_cast<std::size_t>(index)];
    if (given.empty() || given == warned) return;
    warned = given;
    const Parameter& p = effect_.parameters[static_cast<std::size_t>(index)];
    std::string items;
    for (const std::string& item : p.items) items += (items.empty() ? "" : ", ") + item;
    std::fprintf(stderr, "trellin (frei0r): warning: %s: unknown item \"%s\"%s; it stays as it was (items: %s)\n",
                 p.name.c_str(), host_detail::excerpt(given).c_str(), trellin_app::did_you_mean(given, p.items).c_str(),
                 items.c_str());
}

void FilterInstance::get_parameter(int index, void* param)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const CWidget* c = control(index);
    if (c == nullptr || param == nullptr) return;
    const Parameter& p = effect_.parameters[static_cast<std::size_t>(index)];
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    c->get_values(values);
    switch (p.kind) {
    case ControlKind::numeric:
        *static_cast<double*>(param) = units_[static_cast<std::size_t>(index)];
        break;
    case ControlKind::boolean:
        *static_cast<double*>(param) = values[0] != 0.0 ? 1.0 : 0.0;
        break;
    case ControlKind::option: {
        // The item names live as long as the loaded effect, that is until
        // the process ends.
        const double item = values[0];
        const char* name = "";
        if (item >= 0.0 && item < static_cast<double>(p.items.size()))
            name = p.items[static_cast<std::size_t>(item)].c_str();
        *static_cast<const char**>(param) = name;
        break;
    }
    case ControlKind::color: {
        auto* colour = static_cast<f0r_param_color_t*>(param);
        colour->r = static_cast<float>(values[0]);
        colour->g = static_cast<float>(values[1]);
        colour->b = static_cast<float>(values[2]);
        break;
    }
    case ControlKind::label:
        break;
    }
}

void FilterInstance::update(const std::uint32_t* in, std::uint32_t* out)
{
    if (in == nullptr || out == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t count = std::size_t(width_) * std::size_t(height_) * 4;
    const auto* src = reinterpret_cast<const std::uint8_t*>(in);
    auto* dst = reinterpret_cast<std::uint8_t*>(out);
    try {
        // The pictures are made at the first frame, not when the host merely
        // builds its filter chain.
        if (input_.data.size() != count) input_ = trellin_app::HostPicture(width_, height_, 4);
        // The whole input is read before anything is written: `out` may be `in`.
        // Both conversions are shared out over the processors the node renders on.
        trellin_app::for_pixel_bands(count / 4, [&](int, std::size_t first, std::size_t end) {
            trellin_app::from_8bit_samples(src + first * 4, input_.data.data() + first * 4, (end - first) * 4);
        });

        // Nothing the host's frame time says reaches the picture: every frame
        // is the node's frame at time 0.
        const int rendered = trellin_app::render_frame(*node_, input_, output_, 0.0);
        const trellin_app::HostPicture& result = rendered == 1 ? output_ : input_;
        trellin_app::for_pixel_bands(count / 4, [&](int, std::size_t first, std::size_t end) {
            trellin_app::to_8bit_samples(result.data.data() + first * 4, dst + first * 4, (end - first) * 4);
        });
    } catch (const std::bad_alloc&) {
        // No memory for the frame: it passes through unchanged.
        if (dst != src) std::memmove(dst, src, count);
    }
}

}  // namespace trellin_frei0r
