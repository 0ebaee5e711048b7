// The host as the plug-in sees it: the record setHost hands over and the
// suites fetched from it at load. The property, image-effect and parameter
// suites are required; the message and interact suites are used when the
// host offers them.
#pragma once

#include <string>

#include "apps/ofx/ofx_api.h"

namespace trellin_ofx {

struct HostSuites {
    OfxHost* host = nullptr;
    const OfxPropertySuiteV1* props = nullptr;
    const OfxImageEffectSuiteV1* effect = nullptr;
    const OfxParameterSuiteV1* params = nullptr;
    const OfxMessageSuiteV1* message = nullptr;
    const OfxInteractSuiteV1* interact = nullptr;
};

// The plug-in's one host (a binary is loaded by one host at a time).
HostSuites& host_suites();

// Fetches the suites from the host given to setHost; false when a required
// one is missing.
bool fetch_suites();

// Shows `text` to the user as an error about the object `handle` (an effect
// descriptor or instance) through the message suite, or on standard error
// when the host has none. Never throws.
void post_error(const void* handle, const std::string& text) noexcept;

// Small helpers over the property suite; each leaves `fallback` when the
// property is missing.
std::string get_string(OfxPropertySetHandle props, const char* name, int index = 0, const char* fallback = "");
int get_int(OfxPropertySetHandle props, const char* name, int index = 0, int fallback = 0);
double get_double(OfxPropertySetHandle props, const char* name, int index = 0, double fallback = 0.0);
void* get_pointer(OfxPropertySetHandle props, const char* name, int index = 0);

}  // namespace trellin_ofx
