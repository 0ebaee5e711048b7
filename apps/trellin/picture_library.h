// Loading trellin's picture library (picture_entry.h) on the first command
// that needs it. It is looked for as trellin-pictures.so in the program's own
// folder (the build tree), then in ../lib/trellin/ beside it (an installed
// tree: bin/ and lib/trellin/), where the effect module lies too.
#pragma once

namespace trellin_cli {

inline constexpr char picture_library_file[] = "trellin-pictures.so";

// Keeps the program's command line for run_in_picture_library; main calls it
// before anything else.
void keep_command_line(int argc, char** argv);

// Loads the library (once) and runs the kept command line in it: its exit
// code. A Failure with exit code 2 naming the file when it cannot be found or
// loaded.
int run_in_picture_library();

}  // namespace trellin_cli
