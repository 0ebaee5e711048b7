// Loading a library at run time (a shared object on Linux, a DLL on Windows),
// looking up its symbols, and finding the file a loaded piece of code came
// from. Paths are UTF-8 on every system.
#pragma once

#include <string>

#include "contract/host_api.h"

namespace platform {

// Loads the library at `path` with its symbols bound now and kept to itself.
// On Windows the libraries it imports are looked for in its own folder
// first, as an RPATH of $ORIGIN does on Linux. Null on failure, with the
// loader's reason in `error`.
HOST_API void* open_library(const std::string& path, std::string& error);
// The address of the exported `name`; null when the library has none, with
// the loader's reason in `error`.
HOST_API void* library_symbol(void* library, const char* name, std::string& error);
HOST_API void close_library(void* library);

// The file of the loaded library or program holding `address` (absolute;
// empty when the loader cannot say).
HOST_API std::string loaded_file_path(const void* address);
// The running program's own file (empty when unknown).
HOST_API std::string executable_path();

}  // namespace platform
