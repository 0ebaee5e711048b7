// The frei0r entry points of trellin.so. Each is a thin door into the
// effect module and a FilterInstance; none lets an exception or a bad
// pointer from the host through.
#include "apps/frei0r/frei0r_api.h"

#include <exception>

#include "apps/frei0r/effect_module.h"
#include "apps/frei0r/filter_instance.h"

using trellin_frei0r::Effect;
using trellin_frei0r::FilterInstance;

namespace {

const Effect* loaded_effect() noexcept
{
    try {
        return trellin_frei0r::effect();
    } catch (...) {
        return nullptr;
    }
}

int parameter_count() noexcept
{
    const Effect* e = loaded_effect();
    return e != nullptr ? static_cast<int>(e->parameters.size()) : 0;
}

}  // namespace

// The only symbols the module shows its hosts (everything else is hidden).
#pragma GCC visibility push(default)
extern "C" {

// Loads the effect module, so that a host learns at once when it is missing.
// Hosts may call this once per use of the filter; the module is loaded only
// the first time. Returns 1 when the effect is there, 0 otherwise.
int f0r_init(void)
{
    return loaded_effect() != nullptr ? 1 : 0;
}

// The effect module stays loaded: another filter of the same host may still
// be using it.
void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (info == nullptr) return;
    info->name = "Trellin";
    info->author = "Kelvoids";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 0;
    info->minor_version = 1;
    info->num_params = parameter_count();
    info->explanation =
        "Cell glass: a grid of glass cells over the picture that bends it like refracting glass, "
        "with optional chromatic aberration and lighting";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    if (info == nullptr) return;
    const Effect* e = loaded_effect();
    if (e == nullptr || param_index < 0 || param_index >= static_cast<int>(e->parameters.size())) return;
    const trellin_frei0r::Parameter& p = e->parameters[static_cast<std::size_t>(param_index)];
    info->name = p.name.c_str();
    info->type = p.frei0r_type;
    info->explanation = p.explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    const Effect* e = loaded_effect();
    if (e == nullptr) return nullptr;
    try {
        return FilterInstance::create(*e, width, height).release();
    } catch (...) {
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance)
{
    delete static_cast<FilterInstance*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance == nullptr) return;
    try {
        static_cast<FilterInstance*>(instance)->set_parameter(param_index, param);
    } catch (...) {
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance == nullptr) return;
    try {
        static_cast<FilterInstance*>(instance)->get_parameter(param_index, param);
    } catch (...) {
    }
}

// The frame time is not used: hosts pass it in differing units (ffmpeg in
// milliseconds) and the picture must not depend on it.
void f0r_update(f0r_instance_t instance, double /*time*/, const uint32_t* inframe, uint32_t* outframe)
{
    if (instance == nullptr) return;
    try {
        static_cast<FilterInstance*>(instance)->update(inframe, outframe);
    } catch (...) {
    }
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t* /*inframe2*/,
                 const uint32_t* /*inframe3*/, uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}

}  // extern "C"
#pragma GCC visibility pop
