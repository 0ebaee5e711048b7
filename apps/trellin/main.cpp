// trellin: renders pictures through the Trellin effect module from the
// command line (command_line.h). This program holds every command's options
// and help, and runs the commands that read no pictures (looks, info without
// a picture); the others run in the picture library (picture_library.h),
// loaded only then, so that --help and those commands start without loading
// OpenImageIO, FFmpeg's libraries or OpenGL.
#include "apps/trellin/command_line.h"
#include "apps/trellin/picture_library.h"

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: reading a truncated PNG, OpenImageIO
// copies its error message in libpng's read callback, and libpng's error exit
// then jumps over that copy; the few bytes are the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:OpenImageIO_v2_4::ImageInput::geterror\n";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

int main(int argc, char** argv)
{
    trellin_cli::keep_command_line(argc, argv);
    return trellin_cli::run_command_line(argc, argv);
}
