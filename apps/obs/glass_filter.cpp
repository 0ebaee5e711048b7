#include "apps/obs/glass_filter.h"

#include <cstring>
#include <functional>
#include <exception>
#include <utility>

#include "apps/common/core/project_file.h"
#include "apps/obs/property_map.h"

namespace trellin_obs {

namespace {

// The setting that remembers which look's values the settings were last
// given, so that showing the properties again does not restore the look
// over controls changed since.
constexpr const char* applied_look_setting = "look_applied";

const trellin_app::LookEntry* find_look(const std::vector<trellin_app::LookEntry>& looks, const std::string& name)
{
    for (const trellin_app::LookEntry& entry : looks)
        if (entry.name == name) return &entry;
    return nullptr;
}

}  // namespace

GlassFilter::GlassFilter(const Effect& effect, const std::vector<trellin_app::LookEntry>& looks, obs_source_t* context)
    : effect_(effect),
      looks_(looks),
      context_(context),
      settings_(effect.module.create_node()),
      render_(std::make_unique<GlassRender>(effect.module.create_node()))
{
}

GlassFilter::~GlassFilter()
{
    worker_.wait_idle();
    release_frames(frames_parent_);
    free_graphics();
}

void GlassFilter::update(obs_data_t* settings)
{
    trellin_app::NodePtr node;
    const std::string look = obs_data_get_string(settings, look_setting);
    if (const trellin_app::LookEntry* entry = find_look(looks_, look)) {
        try {
            node = trellin_app::load_project_file(effect_.module, entry->path);
        } catch (const std::exception& e) {
            blog(LOG_WARNING, "[trellin-obs] look %s: %s", look.c_str(), e.what());
        }
    }
    if (!node) node = effect_.module.create_node();
    if (look != obs_data_get_string(settings, applied_look_setting)) {
        // A look chosen since the last update (by a script, or a scene
        // collection written by hand) sets every control; choosing none
        // keeps the values as they are, without the look's keys.
        obs_data_set_string(settings, applied_look_setting, look.c_str());
        if (!look.empty()) write_settings(*node, effect_.facts, settings);
    }
    read_settings(settings, effect_.facts, *node);
    std::lock_guard<std::mutex> hold(lock_);
    settings_ = std::move(node);
    changed_ = true;
}

bool GlassFilter::choose_look(obs_data_t* settings)
{
    const std::string look = obs_data_get_string(settings, look_setting);
    if (look == obs_data_get_string(settings, applied_look_setting)) return false;
    obs_data_set_string(settings, applied_look_setting, look.c_str());
    const trellin_app::LookEntry* entry = find_look(looks_, look);
    if (entry == nullptr) return false;
    try {
        const trellin_app::NodePtr node = trellin_app::load_project_file(effect_.module, entry->path);
        write_settings(*node, effect_.facts, settings);
    } catch (const std::exception& e) {
        blog(LOG_WARNING, "[trellin-obs] look %s: %s", look.c_str(), e.what());
        return false;
    }
    return true;
}

void GlassFilter::tick(float seconds)
{
    std::lock_guard<std::mutex> hold(lock_);
    elapsed_ += double(seconds);
}

std::optional<trellin_app::SettingsSnapshot> GlassFilter::changed_settings()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!changed_) return std::nullopt;
    changed_ = false;
    return trellin_app::SettingsSnapshot::of(*settings_);
}

double GlassFilter::node_time(obs_source_t* parent) const
{
    double seconds = 0.0;
    if (parent != nullptr && (obs_source_get_output_flags(parent) & OBS_SOURCE_CONTROLLABLE_MEDIA) != 0) {
        seconds = double(obs_source_media_get_time(parent)) / 1000.0;
    } else {
        std::lock_guard<std::mutex> hold(lock_);
        seconds = elapsed_;
    }
    obs_video_info ovi{};
    if (!obs_get_video_info(&ovi) || ovi.fps_den == 0) return 0.0;
    return seconds * double(ovi.fps_num) / double(ovi.fps_den);
}

obs_source_frame* GlassFilter::filter_video(obs_source_frame* frame)
{
    obs_source_t* parent = obs_filter_get_parent(context_);
    if (!worker_.idle()) {
        // Still busy with the frame before: this one is dropped and the
        // last one shown stays on screen.
        obs_source_release_frame(parent, frame);
        return nullptr;
    }
    std::optional<trellin_app::SettingsSnapshot> settings = changed_settings();
    const double time = node_time(parent);
    std::function<void()> job = [this, frame, settings = std::move(settings), time] {
        try {
            if (settings) render_->take(*settings);
            render_->render_frame(*frame, time);
        } catch (const std::exception&) {
            // Out of memory for the frame: it is shown as it came, as a
            // frame the node cannot render is.
        }
        finished_ = frame;
    };
    obs_source_frame* out = finished_;
    finished_ = nullptr;
    frames_parent_ = parent;
    worker_.try_start(std::move(job));
    return out;
}

void GlassFilter::release_frames(obs_source_t* parent)
{
    if (finished_ != nullptr && parent != nullptr) obs_source_release_frame(parent, finished_);
    finished_ = nullptr;
}

void GlassFilter::removed(obs_source_t* parent)
{
    worker_.wait_idle();
    release_frames(parent != nullptr ? parent : frames_parent_);
    frames_parent_ = nullptr;
}

void GlassFilter::capture(obs_source_t* target, obs_source_t* parent, std::uint32_t width, std::uint32_t height)
{
    if (texrender_ == nullptr) texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    if (stage_ == nullptr || gs_stagesurface_get_width(stage_) != width ||
        gs_stagesurface_get_height(stage_) != height) {
        gs_stagesurface_destroy(stage_);
        stage_ = gs_stagesurface_create(width, height, GS_RGBA);
    }
    if (texrender_ == nullptr || stage_ == nullptr) return;

    // The source as it would be drawn without this filter, straight alpha.
    gs_texrender_reset(texrender_);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
    bool drawn = false;
    if (gs_texrender_begin(texrender_, width, height)) {
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, float(width), 0.0f, float(height), -100.0f, 100.0f);
        const bool custom_draw = (obs_source_get_output_flags(target) & OBS_SOURCE_CUSTOM_DRAW) != 0;
        if (target == parent && !custom_draw)
            obs_source_default_render(target);
        else
            obs_source_video_render(target);
        gs_texrender_end(texrender_);
        drawn = true;
    }
    gs_blend_state_pop();
    if (!drawn) return;

    // Read back at once: waiting a frame would make the result two frames
    // late.
    gs_stage_texture(stage_, gs_texrender_get_texture(texrender_));
    std::uint8_t* data = nullptr;
    std::uint32_t linesize = 0;
    if (!gs_stagesurface_map(stage_, &data, &linesize)) return;
    const std::size_t row = std::size_t(width) * 4;
    staged_.resize(row * height);
    for (std::uint32_t y = 0; y < height; ++y)
        std::memcpy(staged_.data() + row * y, data + std::size_t(linesize) * y, row);
    gs_stagesurface_unmap(stage_);
    staged_width_ = width;
    staged_height_ = height;

    std::optional<trellin_app::SettingsSnapshot> settings = changed_settings();
    const double time = node_time(parent);
    worker_.try_start([this, settings = std::move(settings), time] {
        if (settings) render_->take(*settings);
        render_->render_rgba(staged_.data(), int(staged_width_), int(staged_height_), staged_width_ * 4, result_, time);
        result_ready_ = true;
    });
}

void GlassFilter::upload_result()
{
    if (!result_ready_) return;
    result_ready_ = false;
    if (texture_ == nullptr || texture_width_ != staged_width_ || texture_height_ != staged_height_) {
        gs_texture_destroy(texture_);
        texture_ = gs_texture_create(staged_width_, staged_height_, GS_RGBA, 1, nullptr, GS_DYNAMIC);
        texture_width_ = staged_width_;
        texture_height_ = staged_height_;
    }
    if (texture_ != nullptr) gs_texture_set_image(texture_, result_.data(), staged_width_ * 4, false);
}

void GlassFilter::render()
{
    obs_source_t* target = obs_filter_get_target(context_);
    obs_source_t* parent = obs_filter_get_parent(context_);
    // Asynchronous sources are filtered in filter_video.
    if (target == nullptr || parent == nullptr || (obs_source_get_output_flags(parent) & OBS_SOURCE_ASYNC) != 0) {
        obs_source_skip_video_filter(context_);
        return;
    }
    const std::uint32_t width = obs_source_get_base_width(target);
    const std::uint32_t height = obs_source_get_base_height(target);
    if (width == 0 || height == 0) {
        obs_source_skip_video_filter(context_);
        return;
    }
    // Once per output frame, however often the source is drawn in it.
    const std::uint64_t frame_time = obs_get_video_frame_time();
    if (frame_time != last_frame_time_ && worker_.idle()) {
        last_frame_time_ = frame_time;
        upload_result();
        capture(target, parent, width, height);
    }
    // Until the first result, and for a frame of another size, the source
    // shows as it is.
    if (texture_ == nullptr || texture_width_ != width || texture_height_ != height) {
        obs_source_skip_video_filter(context_);
        return;
    }
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_eparam_t* image = gs_effect_get_param_by_name(effect, "image");
    const bool linear_srgb = gs_get_linear_srgb();
    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(linear_srgb);
    if (linear_srgb)
        gs_effect_set_texture_srgb(image, texture_);
    else
        gs_effect_set_texture(image, texture_);
    while (gs_effect_loop(effect, "Draw")) gs_draw_sprite(texture_, 0, width, height);
    gs_enable_framebuffer_srgb(previous);
}

void GlassFilter::free_graphics()
{
    if (texrender_ == nullptr && stage_ == nullptr && texture_ == nullptr) return;
    obs_enter_graphics();
    gs_texrender_destroy(texrender_);
    gs_stagesurface_destroy(stage_);
    gs_texture_destroy(texture_);
    obs_leave_graphics();
    texrender_ = nullptr;
    stage_ = nullptr;
    texture_ = nullptr;
}

}  // namespace trellin_obs
