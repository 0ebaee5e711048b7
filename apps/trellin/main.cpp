// trellin: renders pictures through the Trellin effect module from the
// command line (command_line.h). This program holds every command's options
// and help, and runs the commands that read no pictures (looks, info without
// a picture, pipe for frames that need no colour handling); the others run
// in the picture library (picture_library.h),
// loaded only then, so that --help and those commands start without loading
// OpenImageIO, FFmpeg's libraries or OpenGL.
#include "apps/trellin/command_line.h"
#include "apps/trellin/picture_library.h"

int main(int argc, char** argv)
{
    trellin_cli::keep_command_line(argc, argv);
    return trellin_cli::run_command_line(argc, argv);
}
