// The one entry point of trellin's picture library (trellin-pictures.so):
// the commands that read or write pictures or video, with the libraries they
// need (OpenImageIO, FFmpeg's libraries, OpenGL), which the trellin program
// itself does not link. The program parses the command line, finds that the
// command needs pictures and hands the same command line to the library,
// which parses it again with the same options and runs it.
#pragma once

// The entry point's name, as the program looks it up.
#define TRELLIN_PICTURE_ENTRY "trellin_run_picture_command"

extern "C" {

// Runs the command line (argv[0] the program) as trellin does, failures
// printed on standard error; the exit code. Nothing is thrown out of it.
using TrellinPictureEntry = int (*)(int argc, char** argv);
__attribute__((visibility("default"))) int trellin_run_picture_command(int argc, char** argv);
}
