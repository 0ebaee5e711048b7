#include "host/platform_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>

namespace platform {

std::filesystem::path path_from_utf8(const std::string& text)
{
#ifdef _WIN32
    const std::u8string utf8(text.begin(), text.end());
    return std::filesystem::path(utf8);
#else
    return std::filesystem::path(text);
#endif
}

std::string path_to_utf8(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
#else
    return path.string();
#endif
}

#ifdef _WIN32

int create_new_file(const std::string& path)
{
    return ::_wopen(path_from_utf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

long write_file(int fd, const void* data, std::size_t size)
{
    // The system writes at most INT_MAX bytes a call; the caller loops.
    const unsigned int chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned int>(size);
    return ::_write(fd, data, chunk);
}

bool flush_file(int fd)
{
    return ::_commit(fd) == 0;
}

int close_file(int fd)
{
    return ::_close(fd);
}

int replace_file(const std::string& from, const std::string& to)
{
    if (::MoveFileExW(path_from_utf8(from).c_str(), path_from_utf8(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        errno = EACCES;
        break;
    case ERROR_DISK_FULL:
        errno = ENOSPC;
        break;
    default:
        errno = EIO;
    }
    return -1;
}

void remove_file(const std::string& path)
{
    ::_wunlink(path_from_utf8(path).c_str());
}

int file_status(const std::string& path, bool& regular, std::int64_t& size)
{
    struct _stat64 status {};
    if (::_wstat64(path_from_utf8(path).c_str(), &status) != 0) return -1;
    regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    size = status.st_size;
    return 0;
}

void flush_folder(const std::string&)
{
    // Windows has no handle to flush a folder through: MOVEFILE_WRITE_THROUGH
    // has put the rename on disk already.
}

#else

int create_new_file(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

long write_file(int fd, const void* data, std::size_t size)
{
    return ::write(fd, data, size);
}

bool flush_file(int fd)
{
    return ::fsync(fd) == 0;
}

int close_file(int fd)
{
    return ::close(fd);
}

int replace_file(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str());
}

void remove_file(const std::string& path)
{
    ::unlink(path.c_str());
}

int file_status(const std::string& path, bool& regular, std::int64_t& size)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return -1;
    regular = S_ISREG(status.st_mode);
    size = status.st_size;
    return 0;
}

void flush_folder(const std::string& folder)
{
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

#endif

}  // namespace platform
