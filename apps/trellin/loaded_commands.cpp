// The trellin program's commands that read or write pictures or video: each
// declares its options and help as the picture library's does (the same
// NAME_arguments.h), so that parsing and --help need no picture library, and
// runs by handing the command line to the library (picture_library.h).
// trellin pipe runs itself when its frames need no colour handling
// (program_pipe.cpp).
#include <memory>

#include "apps/trellin/commands.h"
#include "apps/trellin/info/control_list.h"
#include "apps/trellin/pictures/demo_arguments.h"
#include "apps/trellin/farm/farm_arguments.h"
#include "apps/trellin/pictures/gallery_arguments.h"
#include "apps/trellin/info/info_arguments.h"
#include "apps/trellin/pictures/overlay_arguments.h"
#include "apps/trellin/picture_library.h"
#include "apps/trellin/rendering/render_arguments.h"

namespace trellin_cli {

namespace {

template <class Arguments>
class LoadedCommand : public Command, Arguments {
public:
    CLI::App* add_to(CLI::App& app) override { return this->declare(app); }
    int run() override { return run_in_picture_library(); }
};

// trellin info lists the controls itself; a picture's settings take the
// picture library.
class InfoCommand : public Command, InfoArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }
    int run() override { return picture_.empty() ? print_node_controls() : run_in_picture_library(); }
};

}  // namespace

std::unique_ptr<Command> make_render_command()
{
    return std::make_unique<LoadedCommand<RenderArguments>>();
}

std::unique_ptr<Command> make_info_command()
{
    return std::make_unique<InfoCommand>();
}

std::unique_ptr<Command> make_demo_command()
{
    return std::make_unique<LoadedCommand<DemoArguments>>();
}

std::unique_ptr<Command> make_gallery_command()
{
    return std::make_unique<LoadedCommand<GalleryArguments>>();
}

std::unique_ptr<Command> make_overlay_command()
{
    return std::make_unique<LoadedCommand<OverlayArguments>>();
}

std::unique_ptr<Command> make_farm_command()
{
    return std::make_unique<LoadedCommand<FarmArguments>>();
}

}  // namespace trellin_cli
