#include "apps/ofx/host_suites.h"

#include <cstdio>

namespace trellin_ofx {

HostSuites& host_suites()
{
    static HostSuites suites;
    return suites;
}

bool fetch_suites()
{
    HostSuites& h = host_suites();
    if (h.host == nullptr || h.host->fetchSuite == nullptr) return false;
    const auto fetch = [&h](const char* name, int version) { return h.host->fetchSuite(h.host->host, name, version); };
    h.props = static_cast<const OfxPropertySuiteV1*>(fetch(kOfxPropertySuite, 1));
    h.effect = static_cast<const OfxImageEffectSuiteV1*>(fetch(kOfxImageEffectSuite, 1));
    h.params = static_cast<const OfxParameterSuiteV1*>(fetch(kOfxParameterSuite, 1));
    h.message = static_cast<const OfxMessageSuiteV1*>(fetch(kOfxMessageSuite, 1));
    h.interact = static_cast<const OfxInteractSuiteV1*>(fetch(kOfxInteractSuite, 1));
    return h.props != nullptr && h.effect != nullptr && h.params != nullptr;
}

void post_error(const void* handle, const std::string& text) noexcept
{
    const std::string line = "Trellin: " + text;
    const HostSuites& h = host_suites();
    if (h.message != nullptr && h.message->message != nullptr) {
        h.message->message(const_cast<void*>(handle), kOfxMessageError, nullptr, "%s", line.c_str());
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string get_string(OfxPropertySetHandle props, const char* name, int index, const char* fallback)
{
    char* value = nullptr;
    if (props == nullptr || host_suites().props->propGetString(props, name, index, &value) != kOfxStatOK ||
        value == nullptr)
        return fallback;
    return value;
}

int get_int(OfxPropertySetHandle props, const char* name, int index, int fallback)
{
    int value = fallback;
    if (props == nullptr || host_suites().props->propGetInt(props, name, index, &value) != kOfxStatOK) return fallback;
    return value;
}

double get_double(OfxPropertySetHandle props, const char* name, int index, double fallback)
{
    double value = fallback;
    if (props == nullptr || host_suites().props->propGetDouble(props, name, index, &value) != kOfxStatOK)
        return fallback;
    return value;
}

void* get_pointer(OfxPropertySetHandle props, const char* name, int index)
{
    void* value = nullptr;
    if (props == nullptr || host_suites().props->propGetPointer(props, name, index, &value) != kOfxStatOK)
        return nullptr;
    return value;
}

}  // namespace trellin_ofx
