// A folder of its own for the files a benchmark program makes (under the
// system's temporary folder, named after the program and its process),
// removed when the program ends.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace trellin_bench {

inline const std::filesystem::path& work_dir()
{
    struct Dir {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("trellin-bench-" + std::to_string(::getpid()));
        Dir() { std::filesystem::create_directories(path); }
        ~Dir() { std::filesystem::remove_all(path); }
    };
    static const Dir dir;
    return dir.path;
}

}  // namespace trellin_bench
