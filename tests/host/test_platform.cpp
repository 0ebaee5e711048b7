// The platform layer: files by UTF-8 name written whole, libraries loaded by
// name with the loader's reasons, and the files loaded code came from.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/platform_files.h"
#include "host/platform_library.h"
#include "host/platform_memory.h"
#include "host/platform_process.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary folder, whose name is not ASCII.
struct ScratchFolder {
    fs::path path = fs::temp_directory_path() / platform::path_from_utf8("trellin-platform-\xC3\xBC-\xE6\x97\xA5-" +
                                                                         std::to_string(platform::process_id()));
    ScratchFolder()
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder() { fs::remove_all(path); }
    std::string file(const std::string& utf8_name) const
    {
        return platform::path_to_utf8(path / platform::path_from_utf8(utf8_name));
    }
};

std::string contents(const std::string& utf8_path)
{
    std::ifstream in(platform::path_from_utf8(utf8_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_new(const std::string& path, const std::string& text)
{
    const int fd = platform::create_new_file(path);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(platform::write_file(fd, text.data(), text.size()), static_cast<long>(text.size()));
    ASSERT_TRUE(platform::flush_file(fd));
    ASSERT_EQ(platform::close_file(fd), 0);
}

TEST(PlatformFiles, NamesInAnyScriptReachTheirFilesAndReplaceThemWhole)
{
    ScratchFolder scratch;
    // Greek, Japanese and an accented Latin letter, as UTF-8.
    const std::string target =
        scratch.file("\xCE\xB3\xCF\x85\xCE\xB1\xCE\xBB\xCE\xAF-\xE3\x82\xAC\xE3\x83\xA9\xE3\x82\xB9-\xC3\xA9.json");
    const std::string temporary = target + ".tmp";

    write_new(target, "old");
    EXPECT_EQ(platform::path_to_utf8(platform::path_from_utf8(target)), target);
    EXPECT_TRUE(fs::exists(platform::path_from_utf8(target)));
    EXPECT_EQ(contents(target), "old");

    // A name that exists is never opened again for writing.
    EXPECT_LT(platform::create_new_file(target), 0);
    EXPECT_EQ(errno, EEXIST);

    // The replacement lands over the old file in one step, on Windows too,
    // where renaming onto an existing name fails unless asked to replace.
    write_new(temporary, "new contents");
    ASSERT_EQ(platform::replace_file(temporary, target), 0) << std::strerror(errno);
    EXPECT_EQ(contents(target), "new contents");
    EXPECT_FALSE(fs::exists(platform::path_from_utf8(temporary)));

    bool regular = false;
    std::int64_t size = -1;
    ASSERT_EQ(platform::file_status(target, regular, size), 0);
    EXPECT_TRUE(regular);
    EXPECT_EQ(size, 12);
    ASSERT_EQ(platform::file_status(platform::path_to_utf8(scratch.path), regular, size), 0);
    EXPECT_FALSE(regular);

    // What is missing says so through errno.
    EXPECT_NE(platform::file_status(scratch.file("missing"), regular, size), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_NE(platform::replace_file(scratch.file("missing"), target), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(contents(target), "new contents");

    platform::remove_file(target);
    EXPECT_FALSE(fs::exists(platform::path_from_utf8(target)));
}

TEST(PlatformLibrary, LoadingFailsWithTheLoadersReasonAndCodeKnowsItsOwnFile)
{
    ScratchFolder scratch;
    std::string error;
    EXPECT_EQ(platform::open_library(scratch.file("no-such-library.node"), error), nullptr);
    EXPECT_FALSE(error.empty());

    // A file that is not a library is refused too, with a reason.
    const std::string not_library = scratch.file("not-a-library.node");
    write_new(not_library, "plain text");
    error.clear();
    EXPECT_EQ(platform::open_library(not_library, error), nullptr);
    EXPECT_FALSE(error.empty());

    // This test's own code lies in the running program, which exists.
    const std::string self = platform::executable_path();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(fs::is_regular_file(platform::path_from_utf8(self))) << self;
    EXPECT_EQ(platform::loaded_file_path(reinterpret_cast<const void*>(&contents)), self);
    // The host library's own code lies in the host library, not the program.
    const std::string host = platform::loaded_file_path(reinterpret_cast<const void*>(&platform::process_id));
    EXPECT_NE(host, self);
    EXPECT_NE(host.find("trellinhost"), std::string::npos) << host;

    // The host library, loaded by name, gives its exports (by their C++
    // names as the compiler spells them).
    error.clear();
    void* library = platform::open_library(host, error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_NE(platform::library_symbol(library, "_Z12smp_numprocsv", error), nullptr) << error;
    error.clear();
    EXPECT_EQ(platform::library_symbol(library, "no_such_export", error), nullptr);
    EXPECT_FALSE(error.empty());
    platform::close_library(library);
}

TEST(PlatformProcess, ThisProcessRunsAndMemoryIsKnown)
{
    EXPECT_GT(platform::process_id(), 0);
    EXPECT_FALSE(platform::process_ended(platform::process_id()));
    EXPECT_FALSE(platform::machine_name().empty());
    const std::uint64_t memory = platform::usable_memory_bytes();
    EXPECT_GT(memory, std::uint64_t(64) << 20);
}

}  // namespace
