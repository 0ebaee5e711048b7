#include "apps/trellin/picture_entry.h"

#include "apps/trellin/command_line.h"

extern "C" int trellin_run_picture_command(int argc, char** argv)
{
    return trellin_cli::run_command_line(argc, argv);
}
