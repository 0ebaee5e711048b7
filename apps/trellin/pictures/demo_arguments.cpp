#include "apps/trellin/pictures/demo_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* DemoArguments::declare(CLI::App& app)
{
    CLI::App* demo =
        app.add_subcommand("demo", "Render a built-in scene (or your picture) with a look, and a sheet of all looks");
    demo->add_option("OUT", output_, "Picture to write (default: out/demo.png; its folder is created)")
        ->type_name("FILE");
    demo->add_option(
            "-l,--look", look_,
            std::string("The look to render OUT with (default: ") + default_look + "; trellin looks lists them)")
        ->type_name("NAME");
    demo->add_option("--sheet", sheet_,
                     "Contact sheet of every look, each labelled with its name (default: looks.png beside OUT)")
        ->type_name("FILE");
    demo->add_option("--picture", picture_,
                     "Show the looks on this picture instead of the built-in scene (any format render reads)")
        ->type_name("FILE");
    CLI::Option* no_sheet = demo->add_flag("--no-sheet", no_sheet_, "Write no contact sheet");
    demo->get_option("--sheet")->excludes(no_sheet);
    add_frame_options(*demo, options_);
    demo->footer(
        "Makes a 960x540 scene that reads like a photograph (evening sky, sun, hills, a town with lit\n"
        "windows, a road), or takes --picture, renders it with the look (and any --set given on top)\n"
        "and writes it to OUT. Then renders the same picture 320 pixels wide with every look and lays\n"
        "them out, labelled, on the contact sheet.\n"
        "\n"
        "Examples:\n"
        "  trellin demo\n"
        "  trellin demo lit.png --look lit-domes --no-sheet\n"
        "  trellin demo mine.png --picture photo.jpg         # every look on your own picture\n"
        "  trellin demo hexagons.png --set CellShape=Hexagon");
    return demo;
}

}  // namespace trellin_cli
