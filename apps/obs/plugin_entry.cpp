// trellin-obs.so: the OBS module and its one video filter, "Trellin Glass".
#include <obs-module.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "apps/common/core/look_library.h"
#include "apps/obs/effect_module.h"
#include "apps/obs/glass_filter.h"
#include "apps/obs/property_map.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("trellin-obs", "en-US")

namespace {

// The looks the module carries in its data folder (looks/).
std::vector<trellin_app::LookEntry>& shipped_looks()
{
    static std::vector<trellin_app::LookEntry> looks;
    return looks;
}

trellin_obs::GlassFilter* filter(void* data)
{
    return static_cast<trellin_obs::GlassFilter*>(data);
}

const char* glass_name(void*)
{
    return obs_module_text("TrellinGlass");
}

void* glass_create(obs_data_t* settings, obs_source_t* context)
{
    const trellin_obs::Effect* effect = trellin_obs::effect();
    if (effect == nullptr) return nullptr;
    try {
        auto* made = new trellin_obs::GlassFilter(*effect, shipped_looks(), context);
        made->update(settings);
        return made;
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[trellin-obs] the filter could not be made: %s", e.what());
        return nullptr;
    }
}

void glass_destroy(void* data)
{
    delete filter(data);
}

void glass_update(void* data, obs_data_t* settings)
{
    try {
        filter(data)->update(settings);
    } catch (const std::exception& e) {
        blog(LOG_WARNING, "[trellin-obs] settings not taken: %s", e.what());
    }
}

void glass_defaults(obs_data_t* settings)
{
    if (const trellin_obs::Effect* effect = trellin_obs::effect()) trellin_obs::set_defaults(settings, effect->facts);
}

bool look_chosen(void* data, obs_properties_t*, obs_property_t*, obs_data_t* settings)
{
    return data != nullptr && filter(data)->choose_look(settings);
}

obs_properties_t* glass_properties(void* data)
{
    obs_properties_t* props = obs_properties_create();
    if (const trellin_obs::Effect* effect = trellin_obs::effect()) {
        const trellin_obs::LookTexts texts{obs_module_text("Look"), obs_module_text("LookNone"),
                                           obs_module_text("LookMeaning")};
        trellin_obs::add_properties(props, effect->facts, shipped_looks(), texts);
        obs_property_set_modified_callback2(obs_properties_get(props, trellin_obs::look_setting), look_chosen, data);
    }
    return props;
}

void glass_tick(void* data, float seconds)
{
    filter(data)->tick(seconds);
}

void glass_render(void* data, gs_effect_t*)
{
    filter(data)->render();
}

obs_source_frame* glass_filter_video(void* data, obs_source_frame* frame)
{
    try {
        return filter(data)->filter_video(frame);
    } catch (const std::bad_alloc&) {
        return frame;
    }
}

void glass_remove(void* data, obs_source_t* parent)
{
    filter(data)->removed(parent);
}

enum gs_color_space glass_color_space(void*, size_t, const enum gs_color_space*)
{
    // The node renders what it reads back: SDR pictures.
    return GS_CS_SRGB;
}

}  // namespace

bool obs_module_load(void)
{
    const trellin_obs::Effect* effect = trellin_obs::effect();
    if (effect == nullptr) {
        blog(LOG_ERROR, "[trellin-obs] %s", trellin_obs::load_error().c_str());
        return false;
    }
    if (char* folder = obs_module_file("looks")) {
        shipped_looks() = trellin_app::list_looks_in(folder);
        bfree(folder);
    }

    static obs_source_info info{};
    info.id = "trellin_glass";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_SRGB;
    info.get_name = glass_name;
    info.create = glass_create;
    info.destroy = glass_destroy;
    info.update = glass_update;
    info.get_defaults = glass_defaults;
    info.get_properties = glass_properties;
    info.video_tick = glass_tick;
    info.video_render = glass_render;
    info.filter_video = glass_filter_video;
    info.filter_remove = glass_remove;
    info.video_get_color_space = glass_color_space;
    obs_register_source(&info);
    return true;
}

MODULE_EXPORT const char* obs_module_description(void)
{
    return "Trellin cell glass: a grid of glass cells that refracts the picture";
}
