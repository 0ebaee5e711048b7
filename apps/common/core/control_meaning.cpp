#include "apps/common/core/control_meaning.h"

#include "host/text_match.h"
#include "node/control_table.h"

namespace trellin_app {

std::string control_meaning(const std::string& label)
{
    const std::string wanted = label.substr(0, label.find(':'));
    for (const vx::ControlRow& row : vx::control_table) {
        if (!row.meaning) continue;
        const std::string_view own(row.label);
        if (host_detail::same_text_ignoring_case(std::string(own.substr(0, own.find(':'))), wanted)) return row.meaning;
    }
    return {};
}

}  // namespace trellin_app
