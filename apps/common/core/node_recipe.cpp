#include "apps/common/core/node_recipe.h"

#include <set>
#include <utility>

#include "apps/common/core/look_library.h"
#include "apps/common/core/project_file.h"

namespace trellin_app {

RecipeError::RecipeError(Step step, const std::string& message, std::string subject, std::string control,
                         bool unknown_label)
    : std::runtime_error(message),
      step(step),
      subject(std::move(subject)),
      control(std::move(control)),
      unknown_label(unknown_label)
{
}

namespace {

bool is_unknown_label(const SettingError& e)
{
    return e.fault == SettingError::Fault::unknown_label;
}

}  // namespace

PreparedNode prepare_node(const NodeModule& module, const NodeRecipe& recipe)
{
    PreparedNode prepared;
    if (!recipe.look.empty()) {
        try {
            const LookEntry look =
                find_look(recipe.look, recipe.look_base_dir.empty() ? executable_dir() : recipe.look_base_dir);
            prepared.node = load_project_file(module, look.path);
            prepared.look_name = look.name;
        } catch (const ProjectError& e) {
            throw RecipeError(RecipeError::Step::look, e.what(), recipe.look);
        }
    } else if (!recipe.project.empty()) {
        try {
            const RegV reg = recipe.read_project != nullptr ? recipe.read_project(recipe.project)
                                                            : read_project_file(recipe.project);
            prepared.node = node_from_project(module, reg, recipe.project);
            prepared.render = project_render_options(reg, recipe.project);
        } catch (const ProjectError& e) {
            throw RecipeError(RecipeError::Step::project, e.what(), recipe.project);
        }
    } else {
        prepared.node = module.create_node();
    }

    std::set<const CWidget*> keyed;
    for (const KeySetting& key : recipe.keys) {
        try {
            keyed.insert(apply_key(*prepared.node, key));
        } catch (const SettingError& e) {
            throw RecipeError(RecipeError::Step::key, e.what(), key.text, {}, is_unknown_label(e));
        }
    }
    for (const Setting& s : recipe.settings) {
        const std::string text = s.label + "=" + s.value;
        try {
            CWidget& control = setting_control(*prepared.node, s);
            if (keyed.count(&control) != 0)
                throw RecipeError(
                    RecipeError::Step::keyed_setting,
                    text + ": \"" + control.label() + "\" also has keys; a setting holds a control at one value", text,
                    control.label());
            apply_setting(*prepared.node, s);
            control.clear_keys();
        } catch (const SettingError& e) {
            throw RecipeError(RecipeError::Step::setting, e.what(), text, {}, is_unknown_label(e));
        }
    }
    return prepared;
}

std::string recipe_error_message(const RecipeError& e)
{
    switch (e.step) {
    case RecipeError::Step::look:
        return std::string("--look: ") + e.what();
    case RecipeError::Step::project:
        return e.what();
    case RecipeError::Step::key:
        return std::string("--key ") + e.what();
    case RecipeError::Step::keyed_setting:
        return "--set " + e.subject + ": \"" + e.control + "\" also has --key; --set holds a control for the whole run";
    case RecipeError::Step::setting:
        break;
    }
    return std::string("--set ") + e.what();
}

}  // namespace trellin_app
