#include "apps/common/core/environment_check.h"

#include <cstdlib>

#include "apps/common/core/printable_text.h"

namespace trellin_app {

std::vector<std::string> environment_faults()
{
    std::vector<std::string> faults;
    if (const char* text = std::getenv("TRELLIN_THREADS"); text != nullptr && *text != '\0') {
        const std::string value = text;
        const bool digits = value.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || value.find_first_not_of('0') == std::string::npos)
            faults.push_back("TRELLIN_THREADS=" + printable(value, 40) +
                             ": not a processor count; give a whole number of 1 or more, or unset it for all of "
                             "this machine's processors");
    }
    if (const char* text = std::getenv("TRELLIN_KERNELS"); text != nullptr && *text != '\0') {
        const std::string value = text;
        if (value != "fast" && value != "reference")
            faults.push_back("TRELLIN_KERNELS=" + printable(value, 40) +
                             ": unknown kernels; give fast (the default) or reference");
    }
    return faults;
}

}  // namespace trellin_app
