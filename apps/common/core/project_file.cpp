#include "apps/common/core/project_file.h"

#include <filesystem>
#include <system_error>

#include "apps/common/core/nearest_name.h"
#include "apps/common/core/output_file.h"
#include "host/regv.h"
#include "host/value_excerpt.h"

namespace trellin_app {

RegV read_project_file(const std::string& path)
{
    try {
        return RegV::read_file(path);
    } catch (const RegVError& e) {
        throw ProjectError(e.what());
    }
}

RenderOptions project_render_options(const RegV& reg, const std::string& name)
{
    try {
        return render_options_from(reg.doc);
    } catch (const std::invalid_argument& e) {
        throw ProjectError(name + ": " + e.what());
    }
}

NodePtr node_from_project(const NodeModule& module, const RegV& reg, const std::string& name)
{
    const auto type = reg.doc.find("node");
    if (type != reg.doc.end() && (!type->is_string() || type->get<std::string>() != module.type_name()))
        throw ProjectError(name + ": \"node\": the settings are for " + host_detail::json_excerpt(*type) + ", not \"" +
                           module.type_name() + "\"");
    project_render_options(reg, name);

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
        throw ProjectError(name + ": \"controls\": " + fault + did_you_mean(name_fault.given, name_fault.known));
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

NodePtr load_project_file(const NodeModule& module, const std::string& path)
{
    return node_from_project(module, read_project_file(path), path);
}

RegV project_document(FXNode& node, const RenderOptions* render)
{
    RegV reg;
    if (!node.reg_save(reg)) throw ProjectError("the node did not save its settings");
    if (render != nullptr) reg.doc["render"] = render_options_json(*render);
    return reg;
}

void save_project(FXNode& node, const std::string& path, const RenderOptions* render)
{
    RegV reg;
    try {
        reg = project_document(node, render);
    } catch (const ProjectError& e) {
        throw ProjectError(path + ": " + e.what());
    }
    try {
        remove_stale_temporaries(path);
        write_file_whole(path, reg.doc.dump(2) + "\n");
    } catch (const OutputError& e) {
        throw ProjectError(e.what());
    }
}

}  // namespace trellin_app
