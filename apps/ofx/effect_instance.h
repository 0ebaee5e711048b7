// One instance of the effect in a host: its parameters and clips as the host
// keeps them, and a node of its own that renders its frames.
//
// The host owns the parameter values and their animation; a render reads
// every parameter at the frame's time into the node's controls and renders
// the node's frame at that time. Renders of one instance take turns (its
// lock); separate instances share nothing but the loaded module, so they
// render at the same time independently. The overlay has a node of its own,
// so drawing handles never waits for a frame.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/common/core/hdr_split.h"
#include "apps/common/core/host_picture.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/settings_snapshot.h"
#include "apps/ofx/effect_module.h"
#include "apps/ofx/host_image.h"
#include "apps/ofx/host_suites.h"

namespace trellin_ofx {

class EffectInstance {
public:
    // Finds the instance's parameters and clips; throws std::runtime_error
    // naming what is missing.
    EffectInstance(const Effect& effect, OfxImageEffectHandle handle);

    // The render action: the frame at `time` over `window` at `scale`.
    // Returns kOfxStatOK, or kOfxStatFailed with `error` set (empty when
    // the host aborted the frame).
    OfxStatus render(OfxTime time, const OfxRectI& window, std::string& error);

    // The source clip's region of definition at `time`.
    bool source_region(OfxTime time, OfxRectD& region) const;
    // The source clip's premultiplication state (kOfxImage* text) and pixel
    // aspect ratio.
    std::string source_premultiplication() const;
    double source_pixel_aspect() const;

    // Applies the look chosen in the Look parameter to every parameter, as one
    // undoable edit, the user choosing it at `time`. False with `error` set
    // when the look cannot be read.
    bool apply_chosen_look(OfxTime time, std::string& error);
    // The user changed parameter `name` by hand: a chosen look no longer says
    // what the picture is, so the Look goes back to "(none)" and the
    // parameters alone rule.
    void parameter_edited(const std::string& name);

    // Gives back the node's memory kept between frames.
    void release_memory();

    // The overlay's node with every parameter at `time` (unless `read_values`
    // is false: during a drag the node's own values lead), and its output
    // size. The caller holds overlay_lock().
    FXNode& overlay_node(OfxTime time, int width, int height, double pixel_aspect, bool read_values = true);
    std::mutex& overlay_lock() { return overlay_mutex_; }
    // The overlay node's size as last set (by a draw); false when none has
    // been. The caller holds overlay_lock().
    bool overlay_size(int& width, int& height) const;
    // The overlay node's settings as they are now.
    trellin_app::SettingsSnapshot overlay_settings() const;
    // Writes the overlay node's values of the parameters whose controls
    // differ from `last` (which then holds the node's settings) at `time`: a
    // key where the parameter is
    // animated, its single value where it is not. The first write of a drag
    // opens an undoable edit (`edit_open`); end_edit closes it, so a whole
    // drag is one edit.
    void write_changed(OfxTime time, trellin_app::SettingsSnapshot& last, bool& edit_open);
    void end_edit(bool& edit_open);

    OfxImageEffectHandle handle() const { return handle_; }
    const Effect& effect() const { return effect_; }

private:
    // The look a render starts from: the node of the Look parameter's item,
    // read when the item changes. One for the renders, one for the overlay,
    // which may run at once on different threads.
    struct LookBase {
        int item = 0;
        trellin_app::NodePtr node;
    };
    // Every parameter's value at `time` into `node`. Where a look is chosen,
    // a parameter that holds its default and has no keys takes the look's
    // value instead: the look is the base, and what the parameters change
    // lies over it. So a batch host that sets Look without the change event
    // (which copies the look into the parameters) renders the look too.
    // False with `error` set when the chosen look cannot be read.
    bool read_parameters(FXNode& node, OfxTime time, LookBase& look, std::string& error) const;
    // The picture positions are measured on at `time`: the source's region
    // of definition. False with `error` set when the host gives none.
    bool picture_at(OfxTime time, OfxRectD& region, std::string& error) const;
    // Renders `picture` (and `parts`, the frame's values outside 0..1) into
    // result_ at `time`, the host's abort watched; the rendered parts go to
    // `rendered_parts` when it is given.
    OfxStatus render_node(OfxTime time, const trellin_app::HostPicture& picture, const trellin_app::SplitParts& parts,
                          std::string& error, trellin_app::SplitParts* rendered_parts = nullptr);
    // Renders the host's own samples, which the node only reads, into result_.
    OfxStatus render_node(OfxTime time, const _image_str& image, double pixel_aspect, std::string& error);
    // Runs `render` (which returns the node's result) with the host's abort
    // watched: kOfxStatFailed when it aborted or the node refused the frame
    // (`error` then says so).
    OfxStatus watched(OfxTime time, const std::function<int()>& render, std::string& error);

    const Effect& effect_;
    OfxImageEffectHandle handle_;
    OfxParamSetHandle param_set_ = nullptr;
    std::vector<OfxParamHandle> params_;  // one per table parameter
    OfxParamHandle look_ = nullptr;
    OfxImageClipHandle source_ = nullptr;
    OfxImageClipHandle output_ = nullptr;

    std::mutex render_mutex_;
    trellin_app::NodePtr node_;
    // The node's input and result, kept from frame to frame so that their
    // memory is not claimed afresh for every frame (given back with the
    // node's at the end of a sequence).
    trellin_app::HostPicture picture_;
    trellin_app::HostPicture result_;
    // Float samples' storage kept from frame to frame, on the way in and out.
    std::vector<float> floats_in_;
    std::vector<float> floats_out_;
    // The source's alpha of a float frame read in one pass.
    SourceAlpha alpha_;
    std::mutex overlay_mutex_;
    trellin_app::NodePtr overlay_node_;
    mutable LookBase render_look_, overlay_look_;
};

// The name of the Look parameter and of its first item, which applies nothing.
inline constexpr char look_param_name[] = "Look";
inline constexpr char no_look_item[] = "(none)";

}  // namespace trellin_ofx
