#include "apps/common/project_file.h"

#include "host/regv.h"

namespace trellin_app {

NodePtr load_project(const NodeModule& module, const std::string& path)
{
    RegV reg;
    try {
        reg = RegV::read_file(path);
    } catch (const RegVError& e) {
        throw ProjectError(e.what());
    }
    const auto type = reg.doc.find("node");
    if (type != reg.doc.end() && (!type->is_string() || type->get<std::string>() != module.type_name()))
        throw ProjectError(path + ": \"node\": the settings are for " + type->dump() + ", not \"" +
                           module.type_name() + "\"");

    NodePtr probe;
    try {
        probe = module.create_node();
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
    const std::string fault = regv_check(reg, *probe);
    probe.reset();
    if (!fault.empty()) throw ProjectError(path + ": \"controls\": " + fault);
    try {
        return module.load_node(reg);
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
}

void save_project(FXNode& node, const std::string& path)
{
    RegV reg;
    if (!node.reg_save(reg)) throw ProjectError(path + ": the node did not save its settings");
    try {
        reg.write_file(path);
    } catch (const RegVError& e) {
        throw ProjectError(e.what());
    }
}

}  // namespace trellin_app
