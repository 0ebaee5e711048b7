#include "apps/trellin-view/state_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace trellin_view {

nlohmann::json control_value_json(const CWidget& control)
{
    switch (control.kind()) {
    case ControlKind::numeric:
        return static_cast<const CNumeric&>(control).value;
    case ControlKind::boolean:
        return static_cast<const CBoolean&>(control).state;
    case ControlKind::option: {
        const auto& o = static_cast<const COption&>(control);
        if (o.index >= 0 && std::size_t(o.index) < o.items().size()) return o.items()[std::size_t(o.index)];
        return o.index;
    }
    case ControlKind::color: {
        const auto& c = static_cast<const CColor&>(control);
        return nlohmann::json::array({c.rgba[0], c.rgba[1], c.rgba[2], c.rgba[3]});
    }
    case ControlKind::label:
        break;
    }
    return nullptr;
}

bool replace_file(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace trellin_view
