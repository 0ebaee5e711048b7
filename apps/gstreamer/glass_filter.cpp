#include "apps/gstreamer/glass_filter.h"

#include <cstring>
#include <exception>
#include <new>

#include "apps/common/core/frame_render.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/project_file.h"
#include "apps/common/core/settings_snapshot.h"
#include "apps/gstreamer/frame_pixels.h"

namespace trellin_gst {

GlassFilter::GlassFilter(const Effect* effect) : effect_(effect)
{
    if (effect_ == nullptr) return;
    try {
        settings_ = effect_->module.create_node();
    } catch (const std::exception&) {
        // start() reports it.
    }
}

void GlassFilter::read(const ControlProperty& p, GValue* value) const
{
    std::lock_guard<std::mutex> hold(lock_);
    if (settings_) read_property(*settings_, p, value);
}

std::string GlassFilter::write(const ControlProperty& p, const GValue* value)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!settings_) return "the effect module is not loaded";
    std::string fault = write_property(*settings_, p, value);
    if (fault.empty()) {
        changed_ = true;
        set_controls_.insert(p.control_index);
    }
    return fault;
}

std::string GlassFilter::set_project(const char* path)
{
    const std::string name = path != nullptr ? path : "";
    trellin_app::NodePtr loaded;
    std::string fault;
    if (!name.empty()) {
        if (effect_ == nullptr) {
            fault = name + ": the effect module is not loaded";
        } else {
            // Read outside the lock: a frame in progress need not wait for the file.
            try {
                trellin_app::NodeRecipe recipe;
                recipe.project = name;
                loaded = trellin_app::prepare_node(effect_->module, recipe).node;
            } catch (const std::exception& e) {
                fault = e.what();
            }
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    project_ = name;
    project_fault_ = fault;
    if (loaded) {
        settings_ = std::move(loaded);
        set_controls_.clear();
        changed_ = true;
    }
    return fault;
}

std::string GlassFilter::set_look(const char* name)
{
    const std::string look = name != nullptr ? name : "";
    trellin_app::NodePtr loaded;
    std::string fault;
    // An empty name names no look: refused, as --look '' is (null unsets it).
    if (name != nullptr && look.empty()) {
        fault = "look: expected a look's name (trellin looks lists them), not nothing";
    } else if (!look.empty()) {
        if (effect_ == nullptr) {
            fault = look + ": the effect module is not loaded";
        } else {
            try {
                loaded =
                    trellin_app::load_project_file(effect_->module, trellin_app::find_look(look, look_base_dir()).path);
            } catch (const std::exception& e) {
                fault = std::string("look: ") + e.what();
            }
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    look_ = look;
    look_fault_ = fault;
    if (loaded && settings_) {
        for (const int i : set_controls_) {
            const CWidget* given = settings_->control(i);
            CWidget* target = loaded->control(i);
            if (given == nullptr || target == nullptr) continue;
            double v[4] = {0.0, 0.0, 0.0, 0.0};
            given->get_values(v);
            target->set_values(v);
            target->clear_keys();
        }
        settings_ = std::move(loaded);
        changed_ = true;
    }
    return fault;
}

std::string GlassFilter::look() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return look_;
}

std::string GlassFilter::project() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return project_;
}

std::string GlassFilter::start()
{
    if (effect_ == nullptr) return load_error();
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!settings_) return effect_->module.path() + ": the module made no node (out of memory?)";
        if (!project_fault_.empty()) return project_fault_;
        if (!look_fault_.empty()) return look_fault_;
        changed_ = true;
    }
    try {
        render_node_ = effect_->module.create_node();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

void GlassFilter::stop()
{
    render_node_.reset();
    input_ = {};
    output_ = {};
}

void GlassFilter::take_settings()
{
    trellin_app::SettingsSnapshot snapshot;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!changed_) return;
        snapshot = trellin_app::SettingsSnapshot::of(*settings_);
        changed_ = false;
    }
    snapshot.apply_to(*render_node_);
}

std::string GlassFilter::render(GstVideoFrame& in, GstVideoFrame& out, double time, double pixel_aspect)
{
    if (!render_node_) return "the element has not been started";
    try {
        take_settings();
        int rendered = 0;
        if (holds_host_samples(in) && holds_host_samples(out)) {
            // 16-bit frames go to the node as they are; it writes every
            // sample of a frame it renders. A frame it refuses (or a cancel
            // stops) comes out as the input, as in every other host.
            _image_str source = host_image(in), result = host_image(out);
            rendered = trellin_app::render_frame(*render_node_, source, result, time, pixel_aspect);
            if (rendered != 1)
                std::memcpy(
                    GST_VIDEO_FRAME_PLANE_DATA(&out, 0), GST_VIDEO_FRAME_PLANE_DATA(&in, 0),
                    std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&in, 0)) * std::size_t(GST_VIDEO_FRAME_HEIGHT(&in)));
        } else {
            read_frame(in, input_);
            input_.pixel_aspect = pixel_aspect;
            rendered = trellin_app::render_frame(*render_node_, input_, output_, time);
            if (rendered == 1) write_frame(output_, out);
        }
        if (rendered != 1) return "the effect refused the frame (see its warning)";
    } catch (const std::bad_alloc&) {
        return "out of memory for a frame of " + std::to_string(GST_VIDEO_FRAME_WIDTH(&in)) + "x" +
               std::to_string(GST_VIDEO_FRAME_HEIGHT(&in)) + " pixels";
    }
    return {};
}

}  // namespace trellin_gst
