// One frei0r instance: a node of the effect, its parameter values and the
// 16-bit pictures a frame passes through.
//
// Every call on an instance holds the instance's own lock, so a host that
// calls one instance from two threads gets the calls one after the other;
// separate instances share nothing but the loaded module and its thread pool.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/picture_limits.h"
#include "apps/frei0r/effect_module.h"

namespace trellin_frei0r {

class FilterInstance {
public:
    // Largest width and height an instance takes (the programs' limit).
    static constexpr unsigned max_side = static_cast<unsigned>(trellin_app::max_picture_side);

    // A new instance for frames of width x height with every parameter at
    // its control's default; null when the size is 0 or too large, or the
    // node cannot be made.
    static std::unique_ptr<FilterInstance> create(const Effect& effect, unsigned width, unsigned height);

    // frei0r's parameter calls: `param` points at a double (numeric and
    // boolean), a char* (option) or an f0r_param_color_t (colour). Unknown
    // indices and null pointers are ignored; see parameter_table.h for how
    // values reach the controls. An item name an option does not have leaves
    // it as it was, with one warning on standard error (naming the nearest
    // item) the first time the name is given to that parameter.
    void set_parameter(int index, const void* param);
    void get_parameter(int index, void* param);

    // Renders one frame of packed RGBA8888 pixels (width * height of them,
    // rows top first) as the node's frame at time 0. The two frames may be
    // the same memory. A frame the node refuses, or that finds no memory,
    // comes out unchanged.
    void update(const std::uint32_t* in, std::uint32_t* out);

    // The instance's node, for hosts and tests that look at its controls.
    const FXNode& node() const { return *node_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    FilterInstance(const Effect& effect, trellin_app::NodePtr node, int width, int height);

    CWidget* control(int index) const;
    void warn_unknown_item(int index, const char* name);

    const Effect& effect_;
    trellin_app::NodePtr node_;
    const int width_;
    const int height_;
    std::mutex mutex_;
    // The 0..1 value last given to each numeric parameter (as clamped).
    std::vector<double> units_;
    // The unknown item name last warned about, per parameter.
    std::vector<std::string> warned_;
    trellin_app::HostPicture input_;
    trellin_app::HostPicture output_;
};

}  // namespace trellin_frei0r
