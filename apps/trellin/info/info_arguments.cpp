#include "apps/trellin/info/info_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* InfoArguments::declare(CLI::App& app)
{
    CLI::App* info = app.add_subcommand("info",
                                        "Show the effect's identity and its controls, or the settings "
                                        "a picture was rendered with");
    info->add_option("PICTURE", picture_, "A picture rendered by trellin: print its settings")->type_name("PICTURE");
    info->footer(
        "Lists every control in creation order with its kind, panel column and row, default, step, what\n"
        "it does and the values it takes. The labels shown are the ones --set accepts (any case).\n"
        "docs/controls.md explains every control at length, with pictures.\n"
        "With PICTURE, prints how trellin rendered it (input, frame, colour spaces) and the settings\n"
        "as a project document, which --project PICTURE restores.\n"
        "\n"
        "Examples:\n"
        "  trellin info\n"
        "  trellin info glass.exr");
    return info;
}

}  // namespace trellin_cli
