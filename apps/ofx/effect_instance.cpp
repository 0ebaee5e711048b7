#include "apps/ofx/effect_instance.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <set>
#include <stdexcept>
#include <thread>

#include "apps/common/core/control_text.h"
#include "apps/common/core/convention_colour.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/hdr_split.h"
#include "apps/common/core/project_file.h"
#include "apps/ofx/host_image.h"
#include "apps/ofx/host_position.h"

namespace trellin_ofx {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// True when every component of `p` in `v` (the node's units) is the
// parameter's default. A position's default is placed by the host, from
// fractions of the picture into its own units, and comes back within
// rounding of the node's: within a billionth of the picture counts as it.
bool at_default(const Parameter& p, const double* v)
{
    const int n = p.kind == ParamKind::colour ? 4 : p.kind == ParamKind::pair ? 2 : 1;
    const double within = p.kind == ParamKind::pair ? 1e-9 : 0.0;
    for (int k = 0; k < n; ++k)
        if (!(std::fabs(v[k] - p.fallback[k]) <= within)) return false;
    return true;
}

// An image fetched from a clip, given back to the host when it goes.
class ClipImage {
public:
    ClipImage(OfxImageClipHandle clip, OfxTime time)
    {
        if (host_suites().effect->clipGetImage(clip, time, nullptr, &image_) != kOfxStatOK) image_ = nullptr;
    }
    ~ClipImage()
    {
        if (image_ != nullptr) host_suites().effect->clipReleaseImage(image_);
    }
    ClipImage(const ClipImage&) = delete;
    ClipImage& operator=(const ClipImage&) = delete;

    OfxPropertySetHandle get() const { return image_; }

private:
    OfxPropertySetHandle image_ = nullptr;
};

// Watches the host's abort flag while a frame renders and passes it on to the
// node, which stops early. The host is asked from a thread of the watch's own
// every few milliseconds: the node's row workers give no chance to ask from
// the rendering thread itself.
class AbortWatch {
public:
    AbortWatch(FXNode& node, OfxImageEffectHandle effect) : node_(node), effect_(effect)
    {
        thread_ = std::thread([this] { watch(); });
    }
    ~AbortWatch()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
        node_.clear_abort();
    }
    AbortWatch(const AbortWatch&) = delete;
    AbortWatch& operator=(const AbortWatch&) = delete;

    bool fired() const { return fired_.load(); }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            if (host_suites().effect->abort(effect_) != 0) {
                fired_ = true;
                node_.request_abort();
                return;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(4));
        }
    }

    FXNode& node_;
    OfxImageEffectHandle effect_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// Sets a parameter's value (`time` < 0: its present value, no key) from the
// node's values, in the form its kind takes; a position in the host's
// coordinates on `picture`.
void set_param(OfxParamHandle h, const Parameter& p, const double* v, OfxTime time, const OfxRectD& picture)
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    const bool keyed = time >= 0.0;
    switch (p.kind) {
    case ParamKind::real:
        keyed ? P.paramSetValueAtTime(h, time, v[0]) : P.paramSetValue(h, v[0]);
        break;
    case ParamKind::integer:
    case ParamKind::boolean:
    case ParamKind::choice: {
        const int n = static_cast<int>(std::lround(v[0]));
        keyed ? P.paramSetValueAtTime(h, time, n) : P.paramSetValue(h, n);
        break;
    }
    case ParamKind::colour:
        keyed ? P.paramSetValueAtTime(h, time, v[0], v[1], v[2], v[3]) : P.paramSetValue(h, v[0], v[1], v[2], v[3]);
        break;
    case ParamKind::pair: {
        double at[2];
        host_position(picture, v, at);
        keyed ? P.paramSetValueAtTime(h, time, at[0], at[1]) : P.paramSetValue(h, at[0], at[1]);
        break;
    }
    }
}

}  // namespace

EffectInstance::EffectInstance(const Effect& effect, OfxImageEffectHandle handle) : effect_(effect), handle_(handle)
{
    const HostSuites& h = host_suites();
    if (h.effect->getParamSet(handle, &param_set_) != kOfxStatOK || param_set_ == nullptr)
        throw std::runtime_error("the host gave the instance no parameters");
    for (const Parameter& p : effect.table.parameters) {
        OfxParamHandle param = nullptr;
        if (h.params->paramGetHandle(param_set_, p.name.c_str(), &param, nullptr) != kOfxStatOK || param == nullptr)
            throw std::runtime_error("the host has no parameter \"" + p.name + "\" for the instance");
        params_.push_back(param);
    }
    if (h.params->paramGetHandle(param_set_, look_param_name, &look_, nullptr) != kOfxStatOK) look_ = nullptr;
    if (h.effect->clipGetHandle(handle, kOfxImageEffectSimpleSourceClipName, &source_, nullptr) != kOfxStatOK ||
        h.effect->clipGetHandle(handle, kOfxImageEffectOutputClipName, &output_, nullptr) != kOfxStatOK)
        throw std::runtime_error("the host gave the instance no Source or Output clip");
    node_ = effect.module.create_node();
    overlay_node_ = effect.module.create_node();
}

bool EffectInstance::picture_at(OfxTime time, OfxRectD& region, std::string& error) const
{
    if (source_region(time, region) && measurable(region)) return true;
    error = "the host gave the Source clip no region of definition at frame " + trellin_app::number_text(time) +
            ", which the positions are measured in";
    return false;
}

bool EffectInstance::read_parameters(FXNode& node, OfxTime time, LookBase& look, std::string& error) const
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    OfxRectD picture{0.0, 0.0, 0.0, 0.0};
    if (!picture_at(time, picture, error)) return false;
    int item = 0;
    if (look_ == nullptr || P.paramGetValue(look_, &item) != kOfxStatOK || item <= 0 ||
        static_cast<std::size_t>(item) > effect_.looks.size())
        item = 0;
    if (item != look.item) {
        look = LookBase();
        if (item > 0) {
            try {
                look.node = trellin_app::load_project_file(effect_.module,
                                                           effect_.looks[static_cast<std::size_t>(item) - 1].path);
            } catch (const std::exception& e) {
                error = e.what();
                return false;
            }
            look.item = item;
        }
    }
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const Parameter& p = effect_.table.parameters[i];
        double v[4] = {nan, nan, nan, nan};
        OfxStatus status = kOfxStatOK;
        switch (p.kind) {
        case ParamKind::real:
            status = P.paramGetValueAtTime(params_[i], time, &v[0]);
            break;
        case ParamKind::integer:
        case ParamKind::boolean:
        case ParamKind::choice: {
            int n = 0;
            status = P.paramGetValueAtTime(params_[i], time, &n);
            v[0] = n;
            break;
        }
        case ParamKind::colour:
            status = P.paramGetValueAtTime(params_[i], time, &v[0], &v[1], &v[2], &v[3]);
            break;
        case ParamKind::pair: {
            double at[2] = {nan, nan};
            status = P.paramGetValueAtTime(params_[i], time, &at[0], &at[1]);
            node_position(picture, at, v);
            break;
        }
        }
        if (status != kOfxStatOK) continue;
        // A parameter left at its default, without keys, under a chosen look:
        // the look's value at this time.
        unsigned int keys = 0;
        if (look.node && P.paramGetNumKeys(params_[i], &keys) == kOfxStatOK && keys == 0 && at_default(p, v)) {
            for (int c : {p.control, p.control_y})
                if (c >= 0) look.node->control(c)->evaluate_at(time);
            load_values(*look.node, p, v);
        }
        store_values(node, p, v);
    }
    return true;
}

OfxStatus EffectInstance::render(OfxTime time, const OfxRectI& window, std::string& error)
{
    std::lock_guard<std::mutex> lock(render_mutex_);
    const HostSuites& h = host_suites();
    if (h.effect->abort(handle_) != 0) return kOfxStatFailed;

    if (!read_parameters(*node_, time, render_look_, error)) return kOfxStatFailed;
    ClipImage output(output_, time);
    if (output.get() == nullptr) {
        error = "the host gave no output image at frame " + trellin_app::number_text(time);
        return kOfxStatFailed;
    }
    ImageView dst;
    if (!describe_image(output.get(), dst, error)) {
        error = "output: " + error;
        return kOfxStatFailed;
    }
    ClipImage input(source_, time);
    ImageView src;
    if (input.get() == nullptr) {
        // No source image at this time: the source counts as transparent black.
        trellin_app::OutputFrame nothing;
        write_output(nothing, dst.bounds, dst, window);
        return kOfxStatOK;
    }
    if (!describe_image(input.get(), src, error)) {
        error = "source: " + error;
        return kOfxStatFailed;
    }

    const trellin_app::PictureSource form_in = source_form(src);
    const trellin_app::OutputForm form = output_form(dst);
    // The effect takes source and output at one depth; between integers and
    // floats the colour spaces differ (sRGB, linear).
    if (!trellin_app::same_convention(form_in, form)) {
        error = "the source is " + depth_name(src.kind) + " and the output " + depth_name(dst.kind) +
                ": the effect renders integer samples to integers and floats to floats";
        return kOfxStatErrImageFormat;
    }
    // Floats within 0..1 go in and out in one pass each.
    if (trellin_app::convention_floats_unconverted(form_in, form) && read_unit_floats(src, picture_, alpha_)) {
        const OfxStatus status = render_node(time, picture_, trellin_app::SplitParts(), error);
        if (status != kOfxStatOK) return status;
        write_unit_floats(result_, &alpha_, src.bounds, dst, window);
        return kOfxStatOK;
    }

    // Straight 16-bit samples on packed rows are read by the node where the
    // host keeps them.
    _image_str in_place;
    const bool direct = trellin_app::convention_integers_unconverted(form_in) && words_in_place(src, in_place);
    trellin_app::PictureSource source;
    if (direct) {
        source = form_in;
    } else {
        source.samples = std::move(floats_in_);
        read_source(src, picture_, source);
    }
    trellin_app::NodeFrame frame =
        trellin_app::convention_to_node(direct ? trellin_app::HostPicture() : std::move(picture_), std::move(source));
    floats_in_ = std::move(frame.spare);
    // Float sources keep what lies outside 0..1 as trellin render keeps it
    // (the split mode): those parts render through the same glass.
    trellin_app::SplitParts parts;
    const OfxStatus status = direct ? render_node(time, in_place, src.pixel_aspect, error)
                                    : render_node(time, frame.picture, frame.parts, error, &parts);
    if (!direct) picture_ = std::move(frame.picture);
    if (status != kOfxStatOK) return status;
    trellin_app::OutputFrame out = trellin_app::convention_from_node(
        std::move(result_), frame, form, parts.empty() ? nullptr : &parts, std::move(floats_out_));
    write_output(out, src.bounds, dst, window);
    result_ = std::move(out.picture);
    floats_out_ = std::move(out.samples);
    return kOfxStatOK;
}

OfxStatus EffectInstance::watched(OfxTime time, const std::function<int()>& render, std::string& error)
{
    int done = 0;
    bool aborted = false;
    {
        AbortWatch watch(*node_, handle_);
        done = render();
        aborted = watch.fired();
    }
    if (aborted) return kOfxStatFailed;
    if (done == 0) {
        error = "the effect refused the frame at " + trellin_app::number_text(time);
        return kOfxStatFailed;
    }
    return kOfxStatOK;
}

OfxStatus EffectInstance::render_node(OfxTime time, const trellin_app::HostPicture& picture,
                                      const trellin_app::SplitParts& parts, std::string& error,
                                      trellin_app::SplitParts* rendered_parts)
{
    trellin_app::SplitParts rendered;
    const OfxStatus status = watched(
        time,
        [&] {
            return trellin_app::render_split(*node_, picture, parts, result_, rendered, time, picture.width,
                                             picture.height);
        },
        error);
    if (status == kOfxStatOK && rendered_parts != nullptr) *rendered_parts = std::move(rendered);
    return status;
}

OfxStatus EffectInstance::render_node(OfxTime time, const _image_str& image, double pixel_aspect, std::string& error)
{
    result_.width = image.width;
    result_.height = image.height;
    result_.samples = 4;
    result_.pixel_aspect = pixel_aspect;
    result_.attributes = nullptr;
    result_.data.resize(std::size_t(image.width) * std::size_t(image.height) * 4);
    return watched(
        time,
        [&] {
            _image_str out = result_.host_image();
            return trellin_app::render_frame(*node_, image, out, time, pixel_aspect);
        },
        error);
}

bool EffectInstance::source_region(OfxTime time, OfxRectD& region) const
{
    return host_suites().effect->clipGetRegionOfDefinition(source_, time, &region) == kOfxStatOK;
}

std::string EffectInstance::source_premultiplication() const
{
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->clipGetPropertySet(source_, &props) != kOfxStatOK) return kOfxImageUnPreMultiplied;
    return get_string(props, kOfxImageEffectPropPreMultiplication, 0, kOfxImageUnPreMultiplied);
}

double EffectInstance::source_pixel_aspect() const
{
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->clipGetPropertySet(source_, &props) != kOfxStatOK) return 1.0;
    const double aspect = get_double(props, kOfxImagePropPixelAspectRatio, 0, 1.0);
    return aspect > 0.0 && aspect < 1e6 ? aspect : 1.0;
}

bool EffectInstance::apply_chosen_look(OfxTime time, std::string& error)
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    if (look_ == nullptr) return true;
    int item = 0;
    if (P.paramGetValue(look_, &item) != kOfxStatOK || item <= 0 ||
        static_cast<std::size_t>(item) > effect_.looks.size())
        return true;
    const trellin_app::LookEntry& look = effect_.looks[static_cast<std::size_t>(item) - 1];
    trellin_app::NodePtr node;
    try {
        node = trellin_app::load_project_file(effect_.module, look.path);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }

    // Positions go to the host on the picture at the time of each key, or
    // at `time` where they hold one value.
    OfxRectD picture{0.0, 0.0, 0.0, 0.0};
    if (!picture_at(time, picture, error)) return false;
    const std::string edit = "Look " + look.name;
    P.paramEditBegin(param_set_, edit.c_str());
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const Parameter& p = effect_.table.parameters[i];
        std::set<double> times;
        for (int c : {p.control, p.control_y}) {
            if (c < 0) continue;
            for (const ControlKey& key : node->control(c)->keys()) times.insert(key.time);
        }
        P.paramDeleteAllKeys(params_[i]);
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        if (times.empty()) {
            load_values(*node, p, v);
            set_param(params_[i], p, v, -1.0, picture);
            continue;
        }
        // Animated controls keep their keys: one key at every time either
        // component has one.
        for (double t : times) {
            for (int c : {p.control, p.control_y})
                if (c >= 0) node->control(c)->evaluate_at(t);
            load_values(*node, p, v);
            OfxRectD then = picture;
            if (p.kind == ParamKind::pair && !picture_at(t, then, error)) {
                P.paramEditEnd(param_set_);
                return false;
            }
            set_param(params_[i], p, v, t, then);
        }
    }
    P.paramEditEnd(param_set_);
    return true;
}

void EffectInstance::parameter_edited(const std::string& name)
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    if (look_ == nullptr || name == look_param_name) return;
    int item = 0;
    if (P.paramGetValue(look_, &item) == kOfxStatOK && item != 0) P.paramSetValue(look_, 0);
}

void EffectInstance::release_memory()
{
    std::lock_guard<std::mutex> lock(render_mutex_);
    node_->release_frame_storage();
    picture_ = trellin_app::HostPicture();
    result_ = trellin_app::HostPicture();
    floats_in_ = std::vector<float>();
    floats_out_ = std::vector<float>();
    alpha_ = SourceAlpha();
}

FXNode& EffectInstance::overlay_node(OfxTime time, int width, int height, double pixel_aspect, bool read_values)
{
    FXNode& node = *overlay_node_;
    std::string unread;
    // A look that cannot be read was reported by the render; the overlay
    // shows the parameters as they are.
    if (read_values) read_parameters(node, time, overlay_look_, unread);
    int w = 0, h = 0;
    node.get_output_size(w, h);
    if (w != width || h != height || node.get_aspect() != pixel_aspect) {
        node.set_output_size(width, height);
        node.set_aspect(pixel_aspect);
        node.set_input_length(1);
        node.notify_output_changed();
    }
    // The node copies its controls into the effect when it evaluates them;
    // the second call ("now") copies the values just read.
    if (read_values) {
        node.evaluate_controls(time, false);
        node.evaluate_controls(-1.0, false);
    }
    return node;
}

bool EffectInstance::overlay_size(int& width, int& height) const
{
    overlay_node_->get_output_size(width, height);
    return width > 0 && height > 0;
}

trellin_app::SettingsSnapshot EffectInstance::overlay_settings() const
{
    return trellin_app::SettingsSnapshot::of(*overlay_node_);
}

void EffectInstance::write_changed(OfxTime time, trellin_app::SettingsSnapshot& last, bool& edit_open)
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    trellin_app::SettingsSnapshot now = overlay_settings();
    // The overlay measures the handles on this picture (it draws none
    // without it).
    OfxRectD picture{0.0, 0.0, 0.0, 0.0};
    std::string unmeasured;
    const bool measured = picture_at(time, picture, unmeasured);
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const Parameter& p = effect_.table.parameters[i];
        bool same = true;
        for (int c : {p.control, p.control_y})
            if (c >= 0 && !now.same_control(last, *overlay_node_, c)) same = false;
        if (same || (p.kind == ParamKind::pair && !measured)) continue;
        if (!edit_open) P.paramEditBegin(param_set_, "Drag handle");
        edit_open = true;
        unsigned int keys = 0;
        const bool animated = P.paramGetNumKeys(params_[i], &keys) == kOfxStatOK && keys > 0;
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        load_values(*overlay_node_, p, v);
        set_param(params_[i], p, v, animated ? time : -1.0, picture);
    }
    last = std::move(now);
}

void EffectInstance::end_edit(bool& edit_open)
{
    if (edit_open) host_suites().params->paramEditEnd(param_set_);
    edit_open = false;
}

}  // namespace trellin_ofx
