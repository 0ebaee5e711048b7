// trellin looks: the named looks, one line each.
#include <algorithm>
#include <iostream>

#include "apps/common/core/look_library.h"
#include "apps/common/core/printable_text.h"
#include "apps/trellin/command_support.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

class LooksCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* looks = app.add_subcommand("looks", "List the named looks (--look NAME restores one)");
        looks->footer(
            "A look is a project file that sets the controls for one kind of glass. render, pipe, overlay,\n"
            "farm submit and demo take --look NAME (any case); --set and --key given with it change it.\n"
            "The looks lie in ../share/trellin/looks/ beside the program's folder (PREFIX/share/trellin/looks/\n"
            "when installed); --save-project writes a look of your own.\n"
            "\n"
            "Examples:\n"
            "  trellin looks\n"
            "  trellin render photo.png glass.png --look lit-domes --set CellSize=0.2");
        return looks;
    }

    int run() override
    {
        const std::string folder = look_folder();
        const std::vector<LookEntry> looks = list_looks();
        if (looks.empty()) throw Failure{exit_usage, "no looks found in " + folder};
        // Names and summaries come from files: control characters escaped, a
        // summary cut to one line of a screen or so.
        std::size_t width = 0;
        for (const LookEntry& look : looks) width = std::max(width, printable(look.name, 60).size());
        std::cout << "looks in " << printable(folder) << ":\n";
        for (const LookEntry& look : looks) {
            const std::string name = printable(look.name, 60);
            std::string line = "  " + name + std::string(width - name.size() + 2, ' ') + printable(look.summary, 200);
            while (line.back() == ' ') line.pop_back();
            std::cout << line << "\n";
        }
        return exit_done;
    }
};

}  // namespace

std::unique_ptr<Command> make_looks_command()
{
    return std::make_unique<LooksCommand>();
}

}  // namespace trellin_cli
