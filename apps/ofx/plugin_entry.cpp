// The plug-in's two exported functions and its main entry: each action is a
// thin door into the effect and its instances, and nothing thrown inside
// gets through to the host.
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "apps/ofx/describe.h"
#include "apps/ofx/effect_instance.h"
#include "apps/ofx/host_suites.h"
#include "apps/ofx/ofx_api.h"
#include "apps/ofx/overlay_interact.h"

using namespace trellin_ofx;

namespace {

bool is(const char* action, const char* name)
{
    return std::strcmp(action, name) == 0;
}

EffectInstance* instance_of(OfxImageEffectHandle handle)
{
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->getPropertySet(handle, &props) != kOfxStatOK) return nullptr;
    return static_cast<EffectInstance*>(get_pointer(props, kOfxPropInstanceData));
}

// The loaded effect, or null after telling the host why it is missing.
const Effect* effect_or_complain(const void* handle)
{
    std::string error;
    const Effect* e = effect(&error);
    if (e == nullptr) post_error(handle, error);
    return e;
}

OfxStatus create_instance(OfxImageEffectHandle handle)
{
    const Effect* e = effect_or_complain(handle);
    if (e == nullptr) return kOfxStatFailed;
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->getPropertySet(handle, &props) != kOfxStatOK) return kOfxStatErrBadHandle;
    auto* instance = new EffectInstance(*e, handle);
    host_suites().props->propSetPointer(props, kOfxPropInstanceData, 0, instance);
    return kOfxStatOK;
}

OfxStatus destroy_instance(OfxImageEffectHandle handle)
{
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->getPropertySet(handle, &props) != kOfxStatOK) return kOfxStatErrBadHandle;
    delete static_cast<EffectInstance*>(get_pointer(props, kOfxPropInstanceData));
    host_suites().props->propSetPointer(props, kOfxPropInstanceData, 0, nullptr);
    return kOfxStatOK;
}

// Answers with the source's region at the action's time, as property `name`.
OfxStatus answer_source_region(EffectInstance& instance, OfxPropertySetHandle in_args, OfxPropertySetHandle out_args,
                               const char* name)
{
    OfxRectD region;
    if (!instance.source_region(get_double(in_args, kOfxPropTime), region)) return kOfxStatReplyDefault;
    const double values[4] = {region.x1, region.y1, region.x2, region.y2};
    host_suites().props->propSetDoubleN(out_args, name, 4, values);
    return kOfxStatOK;
}

OfxStatus region_of_definition(EffectInstance& instance, OfxPropertySetHandle in_args, OfxPropertySetHandle out_args)
{
    return answer_source_region(instance, in_args, out_args, kOfxImageEffectPropRegionOfDefinition);
}

// The glass may show any part of the source anywhere: every frame needs the
// whole of it.
OfxStatus regions_of_interest(EffectInstance& instance, OfxPropertySetHandle in_args, OfxPropertySetHandle out_args)
{
    const std::string name = std::string(kOfxImageClipPropRoIPrefix) + kOfxImageEffectSimpleSourceClipName;
    return answer_source_region(instance, in_args, out_args, name.c_str());
}

// The output's alpha is stored as the source's is.
OfxStatus clip_preferences(EffectInstance& instance, OfxPropertySetHandle out_args)
{
    const std::string premultiplication = instance.source_premultiplication();
    host_suites().props->propSetString(out_args, kOfxImageEffectPropPreMultiplication, 0, premultiplication.c_str());
    return kOfxStatOK;
}

OfxStatus render(EffectInstance& instance, OfxPropertySetHandle in_args)
{
    int w[4] = {0, 0, 0, 0};
    host_suites().props->propGetIntN(in_args, kOfxImageEffectPropRenderWindow, 4, w);
    std::string error;
    const OfxStatus status = instance.render(get_double(in_args, kOfxPropTime), {w[0], w[1], w[2], w[3]}, error);
    if (status != kOfxStatOK && !error.empty()) post_error(instance.handle(), error);
    return status;
}

OfxStatus instance_changed(EffectInstance& instance, OfxPropertySetHandle in_args)
{
    if (get_string(in_args, kOfxPropType) != kOfxTypeParameter ||
        get_string(in_args, kOfxPropChangeReason) != kOfxChangeUserEdited)
        return kOfxStatReplyDefault;
    const std::string name = get_string(in_args, kOfxPropName);
    if (name != look_param_name) {
        instance.parameter_edited(name);
        return kOfxStatOK;
    }
    std::string error;
    if (!instance.apply_chosen_look(get_double(in_args, kOfxPropTime), error)) {
        post_error(instance.handle(), error);
        return kOfxStatFailed;
    }
    return kOfxStatOK;
}

OfxStatus dispatch(const char* action, const void* handle, OfxPropertySetHandle in_args, OfxPropertySetHandle out_args)
{
    auto* effect_handle = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
    if (is(action, kOfxActionLoad)) return fetch_suites() ? kOfxStatOK : kOfxStatErrMissingHostFeature;
    if (is(action, kOfxActionUnload)) return kOfxStatOK;
    if (is(action, kOfxActionDescribe)) {
        const Effect* e = effect_or_complain(handle);
        return e != nullptr ? describe(effect_handle, *e, &overlay_main) : kOfxStatFailed;
    }
    if (is(action, kOfxImageEffectActionDescribeInContext)) {
        const Effect* e = effect_or_complain(handle);
        return e != nullptr ? describe_in_context(effect_handle, *e) : kOfxStatFailed;
    }
    if (is(action, kOfxActionCreateInstance)) return create_instance(effect_handle);
    if (is(action, kOfxActionDestroyInstance)) return destroy_instance(effect_handle);

    EffectInstance* instance = instance_of(effect_handle);
    if (instance == nullptr) return kOfxStatReplyDefault;
    if (is(action, kOfxImageEffectActionRender)) return render(*instance, in_args);
    if (is(action, kOfxImageEffectActionGetRegionOfDefinition))
        return region_of_definition(*instance, in_args, out_args);
    if (is(action, kOfxImageEffectActionGetRegionsOfInterest)) return regions_of_interest(*instance, in_args, out_args);
    if (is(action, kOfxImageEffectActionGetClipPreferences)) return clip_preferences(*instance, out_args);
    if (is(action, kOfxImageEffectActionBeginSequenceRender)) return kOfxStatOK;
    if (is(action, kOfxImageEffectActionEndSequenceRender) || is(action, kOfxActionPurgeCaches)) {
        instance->release_memory();
        return kOfxStatOK;
    }
    if (is(action, kOfxActionInstanceChanged)) return instance_changed(*instance, in_args);
    return kOfxStatReplyDefault;
}

OfxStatus main_entry(const char* action, const void* handle, OfxPropertySetHandle in_args,
                     OfxPropertySetHandle out_args)
{
    if (action == nullptr) return kOfxStatErrUnknown;
    try {
        if (host_suites().props == nullptr && !is(action, kOfxActionLoad)) return kOfxStatErrMissingHostFeature;
        return dispatch(action, handle, in_args, out_args);
    } catch (const std::bad_alloc&) {
        post_error(handle, std::string(action) + ": out of memory");
        return kOfxStatErrMemory;
    } catch (const std::exception& e) {
        post_error(handle, e.what());
        return kOfxStatFailed;
    } catch (...) {
        post_error(handle, std::string(action) + " failed");
        return kOfxStatFailed;
    }
}

void set_host(OfxHost* host)
{
    host_suites().host = host;
}

OfxPlugin plugin = {kOfxImageEffectPluginApi,
                    kOfxImageEffectPluginApiVersion,
                    plugin_identifier,
                    TRELLIN_VERSION_MAJOR,
                    TRELLIN_VERSION_MINOR,
                    &set_host,
                    &main_entry};

}  // namespace

extern "C" {

OfxPlugin* OfxGetPlugin(int nth)
{
    return nth == 0 ? &plugin : nullptr;
}

int OfxGetNumberOfPlugins(void)
{
    return 1;
}

}  // extern "C"
