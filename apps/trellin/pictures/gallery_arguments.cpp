#include "apps/trellin/pictures/gallery_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* GalleryArguments::declare(CLI::App& app)
{
    CLI::App* gallery = app.add_subcommand("gallery",
                                           "Render the control reference's strips: each control at a "
                                           "few values");
    gallery->add_option("OUTDIR", folder_, "Folder to write the strips to (created when missing)")
        ->required()
        ->type_name("OUTDIR");
    gallery->add_option("--picture", picture_, "Picture to show (default: the built-in scene, trellin demo's)")
        ->type_name("FILE");
    gallery->add_option("--width", width_, "Width of each picture of a strip, in pixels")
        ->check(CLI::Range(16, 2000))
        ->type_name("PIXELS");
    gallery->add_option("--control", only_, "Render only this control's strip (repeatable; any case)")
        ->allow_extra_args(false)
        ->type_name("LABEL");
    gallery->add_option("-t,--threads", threads_, "Number of processors to render on (default: all)")
        ->check(CLI::Range(1, 1024))
        ->type_name("N");
    gallery->footer(
        "Writes OUTDIR/LABEL.jpg for every control (cellsize.jpg, cell-count-x.jpg, ...): the picture\n"
        "rendered with hexagon glass over the whole frame, once per value shown, each labelled\n"
        "LABEL=VALUE. The strips of docs/controls.md are made this way.\n"
        "\n"
        "Examples:\n"
        "  trellin gallery docs/controls\n"
        "  trellin gallery strips --picture photo.png --control CellSize --control Index");
    return gallery;
}

}  // namespace trellin_cli
