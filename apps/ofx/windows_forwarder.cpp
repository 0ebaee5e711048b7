// Trellin.ofx on Windows, the file OpenFX hosts load from the bundle's
// Contents\Win64\. It imports only Windows' own DLLs, loads the plug-in
// proper (trellin-ofx.dll, which imports the host library) from beside it
// and hands on the two entry points; the plug-in's OfxPlugin then leads the
// host straight into the plug-in proper.
#include "apps/common/core/windows_forwarding.h"

#include "apps/ofx/ofx_api.h"

namespace {

namespace fw = trellin_app::windows_forwarding;

// Loaded once, and kept: the host holds the plug-in's functions from then on.
HMODULE plugin_proper()
{
    static const HMODULE module =
        fw::load_beside(reinterpret_cast<const void*>(&plugin_proper), L"trellin-ofx.dll", "Trellin.ofx");
    return module;
}

}  // namespace

extern "C" {

// None when the plug-in proper cannot be loaded: the host then lists no
// effect from this bundle rather than one that fails.
int OfxGetNumberOfPlugins(void)
{
    auto fn = fw::entry<int()>(plugin_proper(), "OfxGetNumberOfPlugins");
    return fn != nullptr ? fn() : 0;
}

OfxPlugin* OfxGetPlugin(int nth)
{
    auto fn = fw::entry<OfxPlugin*(int)>(plugin_proper(), "OfxGetPlugin");
    return fn != nullptr ? fn(nth) : nullptr;
}

}  // extern "C"
