// Files by UTF-8 name on every system, and the steps of writing a file whole:
// a new file of one's own, flushed to disk, then renamed over the old one.
// On Windows names are handed to the system as wide text, so a name in any
// script reaches the file it names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "contract/host_api.h"

namespace platform {

// A path from UTF-8 text, and back.
HOST_API std::filesystem::path path_from_utf8(const std::string& text);
HOST_API std::string path_to_utf8(const std::filesystem::path& path);

// Creates `path` for writing only if it does not exist yet (not inherited by
// child processes). A descriptor, or -1 with errno set.
HOST_API int create_new_file(const std::string& path);
// Writes up to `size` bytes; the count written, or -1 with errno set.
HOST_API long write_file(int fd, const void* data, std::size_t size);
// Flushes what was written to disk. False with errno set.
HOST_API bool flush_file(int fd);
// 0, or -1 with errno set.
HOST_API int close_file(int fd);
// Renames `from` to `to`, replacing `to` when it exists, in one step where
// the system allows. 0, or -1 with errno set.
HOST_API int replace_file(const std::string& from, const std::string& to);
HOST_API void remove_file(const std::string& path);

// What stat tells of a file: 0 with `regular` and `size` filled, or -1 with
// errno set.
HOST_API int file_status(const std::string& path, bool& regular, std::int64_t& size);

// Flushes a rename in `folder` to disk where the system can ("" is the
// current folder); does nothing where it cannot.
HOST_API void flush_folder(const std::string& folder);

}  // namespace platform
