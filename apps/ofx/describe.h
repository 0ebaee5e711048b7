// The describe actions: what the plug-in tells a host about the effect before
// any instance exists.
#pragma once

#include "apps/ofx/effect_module.h"
#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

// The plug-in's identifier, label and grouping.
inline constexpr char plugin_identifier[] = "com.kelvoids.TrellinGlass";
inline constexpr char plugin_label[] = "Trellin Glass";
inline constexpr char plugin_grouping[] = "Stylize";

// kOfxActionDescribe on the effect descriptor `descriptor`; `overlay` is the
// overlay interact's entry point.
OfxStatus describe(OfxImageEffectHandle descriptor, const Effect& effect, OfxPluginEntryPoint* overlay);

// kOfxImageEffectActionDescribeInContext: the clips and the parameters.
OfxStatus describe_in_context(OfxImageEffectHandle descriptor, const Effect& effect);

}  // namespace trellin_ofx
