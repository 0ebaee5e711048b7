// Every command of trellin, in the order `trellin --help` lists them. A
// command is a file command_NAME.cpp defining make_NAME_command() and one line
// here.
TRELLIN_COMMAND(render)
TRELLIN_COMMAND(info)
TRELLIN_COMMAND(demo)
TRELLIN_COMMAND(looks)
TRELLIN_COMMAND(gallery)
TRELLIN_COMMAND(overlay)
TRELLIN_COMMAND(pipe)
TRELLIN_COMMAND(farm)
