// trellin.dll, the frei0r module as Windows hosts load it. Windows looks for
// the DLLs a plug-in imports beside the host's program, not beside the
// plug-in, so the module proper (trellin-frei0r.dll, which imports the host
// library) lies in the folder trellin\ beside this one with everything it
// loads, and this DLL, which imports only Windows' own, loads it from there
// and hands every call on. Hosts that scan the frei0r folder see this one
// module only.
#include <cstdint>

#include "apps/common/core/windows_forwarding.h"
#include "apps/frei0r/frei0r_api.h"

namespace {

namespace fw = trellin_app::windows_forwarding;

// The module proper, loaded once; null when it cannot be (f0r_init then
// fails, and the host leaves the effect out).
HMODULE module_proper()
{
    static const HMODULE module = fw::load_beside(reinterpret_cast<const void*>(&module_proper),
                                                  L"trellin\\trellin-frei0r.dll", "trellin (frei0r)");
    return module;
}

template <class F>
F* forward(const char* name)
{
    return fw::entry<F>(module_proper(), name);
}

}  // namespace

extern "C" {

int f0r_init()
{
    auto fn = forward<int()>("f0r_init");
    return fn != nullptr ? fn() : 0;
}

void f0r_deinit()
{
    if (auto fn = forward<void()>("f0r_deinit")) fn();
}

void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (auto fn = forward<void(f0r_plugin_info_t*)>("f0r_get_plugin_info")) fn(info);
}

void f0r_get_param_info(f0r_param_info_t* info, int index)
{
    if (auto fn = forward<void(f0r_param_info_t*, int)>("f0r_get_param_info")) fn(info, index);
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    auto fn = forward<f0r_instance_t(unsigned int, unsigned int)>("f0r_construct");
    return fn != nullptr ? fn(width, height) : nullptr;
}

void f0r_destruct(f0r_instance_t instance)
{
    if (auto fn = forward<void(f0r_instance_t)>("f0r_destruct")) fn(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    if (auto fn = forward<void(f0r_instance_t, f0r_param_t, int)>("f0r_set_param_value")) fn(instance, param, index);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    if (auto fn = forward<void(f0r_instance_t, f0r_param_t, int)>("f0r_get_param_value")) fn(instance, param, index);
}

void f0r_update(f0r_instance_t instance, double time, const std::uint32_t* in, std::uint32_t* out)
{
    if (auto fn = forward<void(f0r_instance_t, double, const std::uint32_t*, std::uint32_t*)>("f0r_update"))
        fn(instance, time, in, out);
}

}  // extern "C"
