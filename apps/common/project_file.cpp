#include "apps/common/project_file.h"

#include <filesystem>
#include <system_error>

#include "apps/common/nearest_name.h"
#include "apps/common/output_file.h"
#include "host/regv.h"
#include "host/value_excerpt.h"

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
        throw ProjectError(path + ": \"node\": the settings are for " + host_detail::json_excerpt(*type) +
                           ", not \"" + module.type_name() + "\"");

    NodePtr probe;
    try {
        probe = module.create_node();
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
    RegVNameFault name_fault;
    const std::string fault = regv_check(reg, *probe, &name_fault);
    probe.reset();
    if (!fault.empty())
        throw ProjectError(path + ": \"controls\": " + fault + did_you_mean(name_fault.given, name_fault.known));
    try {
        return module.load_node(reg);
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
}

void check_project_target(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    try {
        RegV::read_file(path);
    } catch (const RegVError&) {
        throw ProjectError(path + ": exists and is not a project file; it is not replaced by one");
    }
}

void save_project(FXNode& node, const std::string& path)
{
    RegV reg;
    if (!node.reg_save(reg)) throw ProjectError(path + ": the node did not save its settings");
    try {
        remove_stale_temporaries(path);
        write_file_whole(path, reg.doc.dump(2) + "\n");
    } catch (const OutputError& e) {
        throw ProjectError(e.what());
    }
}

}  // namespace trellin_app
