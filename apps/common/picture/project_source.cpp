#include "apps/common/picture/project_source.h"

#include "apps/common/picture/picture_settings.h"
#include "apps/common/core/project_file.h"

namespace trellin_app {

RegV read_project(const std::string& path)
{
    if (is_picture_path(path)) return RegV(read_picture_settings(path));
    return read_project_file(path);
}

NodePtr load_project(const NodeModule& module, const std::string& path)
{
    return node_from_project(module, read_project(path), path);
}

}  // namespace trellin_app
