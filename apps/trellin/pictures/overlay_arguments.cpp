#include "apps/trellin/pictures/overlay_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

CLI::App* OverlayArguments::declare(CLI::App& app)
{
    CLI::App* overlay = app.add_subcommand("overlay", "Draw the effect's on-screen handles over a rendered frame");
    overlay->add_option("IN", input_, "Picture to read (as for render)")->required()->type_name("IN");
    overlay->add_option("OUT", output_, "Composite picture to write (RGB)")->required()->type_name("OUT");
    overlay
        ->add_option("--drag", drags_,
                     "Drag with the mouse from (X0,Y0) to (X1,Y1), in pixels of the picture from its top-left "
                     "corner (repeatable; delivered in order, before the frame is rendered)")
        ->allow_extra_args(false)
        ->type_name("X0,Y0:X1,Y1");
    overlay->add_flag("--print-controls", print_controls_,
                      "After the run, print every control as LABEL=VALUE, one a line");
    add_frame_options(*overlay, options_);
    add_control_options(*overlay, controls_, true);
    overlay->footer(
        "Renders IN as frame 0, then draws the handles over the result as a viewer at 1:1 does, in a\n"
        "headless OpenGL context, and writes the composite. The handles: yellow light (with diagonal\n"
        "arms; only while \"Light Active\" is on and \"Brightness\" is not 0), green angle arm and box,\n"
        "red tweak and green centre crosshairs. Each --drag is a press, a move with the button held and a\n"
        "release, after a draw of the handles; a drag holds the controls it moves for the whole run.\n"
        "Printed numbers have 9 significant digits (a handle writes floats: 0.1 prints as 0.100000001).\n"
        "\n"
        "Examples:\n"
        "  trellin overlay pic.png handles.png --set \"Light Active=on\" --set Tweak_X=0.7\n"
        "  trellin overlay pic.png moved.png --drag 960,540:192,108 --print-controls\n"
        "  trellin overlay pic.png moved.png --drag 1152,540:960,700 --save-project look.json");
    return overlay;
}

}  // namespace trellin_cli
