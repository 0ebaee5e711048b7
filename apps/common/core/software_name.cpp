#include "apps/common/core/software_name.h"

namespace trellin_app {

const std::string& software_name()
{
    static const std::string name = std::string("trellin ") + TRELLIN_VERSION;
    return name;
}

}  // namespace trellin_app
