#include "apps/ofx/describe.h"

#include <cfloat>
#include <string>
#include <vector>

#include "apps/ofx/effect_instance.h"
#include "apps/ofx/host_position.h"
#include "apps/ofx/host_suites.h"

namespace trellin_ofx {

namespace {

void set_strings(OfxPropertySetHandle props, const char* name, const std::vector<const char*>& values)
{
    host_suites().props->propSetStringN(props, name, static_cast<int>(values.size()), values.data());
}

OfxStatus define_clip(OfxImageEffectHandle descriptor, const char* name)
{
    OfxPropertySetHandle props = nullptr;
    const OfxStatus status = host_suites().effect->clipDefine(descriptor, name, &props);
    if (status != kOfxStatOK || props == nullptr) return status != kOfxStatOK ? status : kOfxStatFailed;
    const OfxPropertySuiteV1& S = *host_suites().props;
    S.propSetString(props, kOfxImageEffectPropSupportedComponents, 0, kOfxImageComponentRGBA);
    S.propSetInt(props, kOfxImageEffectPropSupportsTiles, 0, 0);
    S.propSetInt(props, kOfxImageEffectPropTemporalClipAccess, 0, 0);
    return kOfxStatOK;
}

// Defines one parameter of the table.
OfxStatus define_parameter(OfxParamSetHandle set, const Parameter& p)
{
    const OfxParameterSuiteV1& P = *host_suites().params;
    const OfxPropertySuiteV1& S = *host_suites().props;
    const char* type = kOfxParamTypeDouble;
    switch (p.kind) {
    case ParamKind::real:
        type = kOfxParamTypeDouble;
        break;
    case ParamKind::integer:
        type = kOfxParamTypeInteger;
        break;
    case ParamKind::boolean:
        type = kOfxParamTypeBoolean;
        break;
    case ParamKind::choice:
        type = kOfxParamTypeChoice;
        break;
    case ParamKind::colour:
        type = kOfxParamTypeRGBA;
        break;
    case ParamKind::pair:
        type = kOfxParamTypeDouble2D;
        break;
    }
    OfxPropertySetHandle props = nullptr;
    const OfxStatus status = P.paramDefine(set, type, p.name.c_str(), &props);
    if (status != kOfxStatOK || props == nullptr) return status != kOfxStatOK ? status : kOfxStatFailed;

    S.propSetString(props, kOfxPropLabel, 0, p.label.c_str());
    S.propSetString(props, kOfxParamPropScriptName, 0, p.name.c_str());
    S.propSetString(props, kOfxParamPropHint, 0, p.hint.c_str());
    if (!p.group.empty()) S.propSetString(props, kOfxParamPropParent, 0, p.group.c_str());
    S.propSetInt(props, kOfxParamPropAnimates, 0, 1);

    switch (p.kind) {
    case ParamKind::real:
        S.propSetDouble(props, kOfxParamPropDefault, 0, p.fallback[0]);
        S.propSetDouble(props, kOfxParamPropMin, 0, p.minimum[0]);
        S.propSetDouble(props, kOfxParamPropMax, 0, p.maximum[0]);
        S.propSetDouble(props, kOfxParamPropDisplayMin, 0, p.display_minimum[0]);
        S.propSetDouble(props, kOfxParamPropDisplayMax, 0, p.display_maximum[0]);
        S.propSetDouble(props, kOfxParamPropIncrement, 0, p.step);
        S.propSetInt(props, kOfxParamPropDigits, 0, p.digits);
        S.propSetString(props, kOfxParamPropDoubleType, 0,
                        p.angle ? kOfxParamDoubleTypeAngle : kOfxParamDoubleTypePlain);
        break;
    case ParamKind::pair: {
        // A point on the picture in the host's canonical coordinates (y up),
        // which its viewer, its numbers and its proxies understand. The
        // default is given as fractions of the picture for the host to place
        // on whatever picture it has. The node's range is in fractions of a
        // picture not known yet: the host takes any value, and the render
        // clamps to the range as `trellin render` does.
        double fallback[2];
        normalised_default(p.fallback, fallback);
        const double lowest[2] = {-DBL_MAX, -DBL_MAX}, highest[2] = {DBL_MAX, DBL_MAX};
        S.propSetString(props, kOfxParamPropDoubleType, 0, kOfxParamDoubleTypeXYAbsolute);
        S.propSetString(props, kOfxParamPropDefaultCoordinateSystem, 0, kOfxParamCoordinatesNormalised);
        S.propSetDoubleN(props, kOfxParamPropDefault, 2, fallback);
        S.propSetDoubleN(props, kOfxParamPropMin, 2, lowest);
        S.propSetDoubleN(props, kOfxParamPropMax, 2, highest);
        S.propSetDoubleN(props, kOfxParamPropDisplayMin, 2, lowest);
        S.propSetDoubleN(props, kOfxParamPropDisplayMax, 2, highest);
        S.propSetDouble(props, kOfxParamPropIncrement, 0, 1.0);
        S.propSetInt(props, kOfxParamPropDigits, 0, 2);
        break;
    }
    case ParamKind::integer: {
        const int lo = static_cast<int>(p.minimum[0]), hi = static_cast<int>(p.maximum[0]);
        S.propSetInt(props, kOfxParamPropDefault, 0, static_cast<int>(p.fallback[0]));
        S.propSetInt(props, kOfxParamPropMin, 0, lo);
        S.propSetInt(props, kOfxParamPropMax, 0, hi);
        S.propSetInt(props, kOfxParamPropDisplayMin, 0, lo);
        S.propSetInt(props, kOfxParamPropDisplayMax, 0, hi);
        break;
    }
    case ParamKind::boolean:
        S.propSetInt(props, kOfxParamPropDefault, 0, p.fallback[0] != 0.0 ? 1 : 0);
        break;
    case ParamKind::choice:
        for (std::size_t i = 0; i < p.items.size(); ++i)
            S.propSetString(props, kOfxParamPropChoiceOption, static_cast<int>(i), p.items[i].c_str());
        S.propSetInt(props, kOfxParamPropDefault, 0, static_cast<int>(p.fallback[0]));
        break;
    case ParamKind::colour:
        S.propSetDoubleN(props, kOfxParamPropDefault, 4, p.fallback);
        // Each component 0 to 1, as the node keeps it.
        for (int k = 0; k < 4; ++k) {
            S.propSetDouble(props, kOfxParamPropMin, k, 0.0);
            S.propSetDouble(props, kOfxParamPropMax, k, 1.0);
            S.propSetDouble(props, kOfxParamPropDisplayMin, k, 0.0);
            S.propSetDouble(props, kOfxParamPropDisplayMax, k, 1.0);
        }
        break;
    }
    return kOfxStatOK;
}

// The Look choice: "(none)" and then every look the bundle carries.
OfxStatus define_look(OfxParamSetHandle set, const Effect& effect)
{
    OfxPropertySetHandle props = nullptr;
    const OfxStatus status = host_suites().params->paramDefine(set, kOfxParamTypeChoice, look_param_name, &props);
    if (status != kOfxStatOK || props == nullptr) return status != kOfxStatOK ? status : kOfxStatFailed;
    const OfxPropertySuiteV1& S = *host_suites().props;
    S.propSetString(props, kOfxPropLabel, 0, "Look");
    S.propSetString(props, kOfxParamPropScriptName, 0, look_param_name);
    std::string hint = "Sets every parameter to a named look, as one edit you can undo";
    S.propSetString(props, kOfxParamPropChoiceOption, 0, no_look_item);
    for (std::size_t i = 0; i < effect.looks.size(); ++i) {
        const trellin_app::LookEntry& look = effect.looks[i];
        S.propSetString(props, kOfxParamPropChoiceOption, static_cast<int>(i) + 1, look.name.c_str());
        hint += "\n" + look.name + ": " + look.summary;
    }
    S.propSetString(props, kOfxParamPropHint, 0, hint.c_str());
    S.propSetInt(props, kOfxParamPropDefault, 0, 0);
    S.propSetInt(props, kOfxParamPropAnimates, 0, 0);
    // Choosing a look changes the other parameters; the choice itself
    // changes no picture.
    S.propSetInt(props, kOfxParamPropEvaluateOnChange, 0, 0);
    return kOfxStatOK;
}

}  // namespace

OfxStatus describe(OfxImageEffectHandle descriptor, const Effect& effect, OfxPluginEntryPoint* overlay)
{
    OfxPropertySetHandle props = nullptr;
    if (host_suites().effect->getPropertySet(descriptor, &props) != kOfxStatOK || props == nullptr)
        return kOfxStatErrBadHandle;
    const OfxPropertySuiteV1& S = *host_suites().props;
    S.propSetString(props, kOfxPropLabel, 0, plugin_label);
    S.propSetString(props, kOfxPropShortLabel, 0, "Trellin");
    S.propSetString(props, kOfxPropLongLabel, 0, plugin_label);
    S.propSetString(props, kOfxImageEffectPluginPropGrouping, 0, plugin_grouping);
    S.propSetString(props, kOfxPropPluginDescription, 0,
                    "Cell glass: a grid of glass cells over the picture that bends it like refracting glass, "
                    "with optional chromatic aberration and lighting. Handles in the viewer move the light, "
                    "the pivot of the turn, the shift of the grid and the cell angle.");
    const int version[3] = {TRELLIN_VERSION_MAJOR, TRELLIN_VERSION_MINOR, TRELLIN_VERSION_PATCH};
    S.propSetIntN(props, kOfxPropVersion, 3, version);
    S.propSetString(props, kOfxPropVersionLabel, 0, TRELLIN_VERSION);
    // The icon in Contents/Resources, named after the identifier as hosts
    // look for it; there is a PNG only (the SVG slot stays empty).
    const std::string png = std::string(plugin_identifier) + ".png";
    S.propSetString(props, kOfxPropIcon, 0, "");
    S.propSetString(props, kOfxPropIcon, 1, png.c_str());

    set_strings(props, kOfxImageEffectPropSupportedContexts,
                {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
    set_strings(props, kOfxImageEffectPropSupportedPixelDepths,
                {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
    S.propSetInt(props, kOfxImageEffectPropSupportsTiles, 0, 0);
    S.propSetInt(props, kOfxImageEffectPropSupportsMultiResolution, 0, 0);
    S.propSetInt(props, kOfxImageEffectPropSupportsMultipleClipDepths, 0, 0);
    S.propSetInt(props, kOfxImageEffectPropTemporalClipAccess, 0, 0);
    S.propSetInt(props, kOfxImageEffectPluginPropSingleInstance, 0, 0);
    S.propSetInt(props, kOfxImageEffectPluginPropHostFrameThreading, 0, 0);
    S.propSetString(props, kOfxImageEffectPluginRenderThreadSafety, 0, kOfxImageEffectRenderInstanceSafe);
    if (overlay != nullptr)
        S.propSetPointer(props, kOfxImageEffectPluginPropOverlayInteractV1, 0, reinterpret_cast<void*>(overlay));
    (void)effect;
    return kOfxStatOK;
}

OfxStatus describe_in_context(OfxImageEffectHandle descriptor, const Effect& effect)
{
    OfxStatus status = define_clip(descriptor, kOfxImageEffectSimpleSourceClipName);
    if (status != kOfxStatOK) return status;
    status = define_clip(descriptor, kOfxImageEffectOutputClipName);
    if (status != kOfxStatOK) return status;

    OfxParamSetHandle set = nullptr;
    if (host_suites().effect->getParamSet(descriptor, &set) != kOfxStatOK || set == nullptr)
        return kOfxStatErrBadHandle;
    status = define_look(set, effect);
    if (status != kOfxStatOK) return status;
    for (const Group& g : effect.table.groups) {
        OfxPropertySetHandle props = nullptr;
        status = host_suites().params->paramDefine(set, kOfxParamTypeGroup, g.name.c_str(), &props);
        if (status != kOfxStatOK) return status;
        if (props != nullptr) host_suites().props->propSetString(props, kOfxPropLabel, 0, g.label.c_str());
    }
    for (const Parameter& p : effect.table.parameters) {
        status = define_parameter(set, p);
        if (status != kOfxStatOK) return status;
    }
    return kOfxStatOK;
}

}  // namespace trellin_ofx
