#include "apps/common/project_file.h"

#include "apps/common/picture_settings.h"

namespace trellin_app {

RegV read_project(const std::string& path)
{
    if (is_picture_path(path)) return RegV(read_picture_settings(path));
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
        throw ProjectError(name + ": \"node\": the settings are for " + type->dump() + ", not \"" +
                           module.type_name() + "\"");
    project_render_options(reg, name);

    NodePtr probe;
    try {
        probe = module.create_node();
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
    const std::string fault = regv_check(reg, *probe);
    probe.reset();
    if (!fault.empty()) throw ProjectError(name + ": \"controls\": " + fault);
    try {
        return module.load_node(reg);
    } catch (const ModuleError& e) {
        throw ProjectError(e.what());
    }
}

NodePtr load_project(const NodeModule& module, const std::string& path)
{
    return node_from_project(module, read_project(path), path);
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
        reg.write_file(path);
    } catch (const RegVError& e) {
        throw ProjectError(e.what());
    }
}

}  // namespace trellin_app
