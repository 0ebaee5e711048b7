// trellin info PICTURE: the settings a picture was rendered with (without a
// picture, the node's controls: control_list.h).
#include <iostream>

#include "apps/common/core/printable_text.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/info/control_list.h"
#include "apps/trellin/info/info_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

class InfoCommand : public Command, InfoArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        if (picture_.empty()) return print_node_controls();
        return show_settings();
    }

private:
    int show_settings() const
    {
        nlohmann::json doc;
        try {
            doc = read_picture_settings(picture_);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, e.what()};
        }
        // Settings the node or the render would refuse do not repeat the render.
        try {
            const NodeModule module = load_module();
            node_from_project(module, RegV(doc), picture_);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, std::string(e.what()) + " (--project would refuse the settings it carries)"};
        }
        const nlohmann::json made = doc.value("picture", nlohmann::json::object());
        // What the picture says is text from a file: shown with its control
        // characters escaped, and a line at most a screen's width or so.
        auto text = [&made](const char* key) {
            const auto v = made.find(key);
            return printable(v == made.end()  ? std::string("?")
                             : v->is_string() ? v->get<std::string>()
                                              : v->dump(),
                             300);
        };
        std::cout << "picture      " << picture_ << "\n"
                  << "rendered by  " << text("software") << "\n"
                  << "from         " << text("input") << ", frame " << text("frame") << "\n"
                  << "colour       input " << text("colorspace_in") << ", working " << text("working_space")
                  << ", output " << text("colorspace_out") << "\n"
                  << "\nsettings (trellin render IN OUT --project " << picture_ << " --frames " << text("frame")
                  << " repeats the render)\n"
                  << printable(doc.dump(2), std::string::npos, true) << "\n";
        return exit_done;
    }
};

}  // namespace

std::unique_ptr<Command> make_info_command()
{
    return std::make_unique<InfoCommand>();
}

}  // namespace trellin_cli
