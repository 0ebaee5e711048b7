// The libraries other programs load (the frei0r module, the GStreamer plug-in,
// the Python module) bring no picture library into those programs: neither
// their own NEEDED entries nor anything those pull in name OpenImageIO or
// OpenColorIO.
// test-labels: external
// test-builds: trellin_frei0r trellin_gst trellin_python
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What `command` prints on standard output; its exit status in `status`.
std::string output_of(const std::string& command, int& status)
{
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return text;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    status = ::pclose(pipe);
    return text;
}

std::vector<fs::path> plugin_files()
{
    const fs::path lib = TRELLIN_LIB_DIR;
    std::vector<fs::path> files{lib / "frei0r-1" / "trellin.so", lib / "gstreamer-1.0" / "libgsttrellin.so"};
    // The Python module's name carries the interpreter's tag (trellin.cpython-311-...so).
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(lib.parent_path() / "python", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("trellin", 0) == 0 && e.path().extension() == ".so") files.push_back(e.path());
    }
    return files;
}

TEST(PluginLibraries, LoadNoPictureLibraryDirectlyOrThroughTheirDependencies)
{
    const std::vector<fs::path> files = plugin_files();
    ASSERT_EQ(files.size(), 3u) << "the frei0r module, the GStreamer plug-in and the Python module";
    for (const fs::path& file : files) {
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        int status = 0;
        // NEEDED entries, as linked.
        const std::string needed = output_of("readelf -d '" + file.string() + "' 2>&1", status);
        ASSERT_EQ(status, 0) << needed;
        EXPECT_NE(needed.find("(NEEDED)"), std::string::npos) << file;
        // Everything the loader maps with it.
        const std::string loaded = output_of("ldd '" + file.string() + "' 2>&1", status);
        ASSERT_EQ(status, 0) << loaded;
        EXPECT_NE(loaded.find("libtrellinhost"), std::string::npos) << file << "\n" << loaded;
        for (const char* library : {"libOpenImageIO", "libOpenColorIO"}) {
            EXPECT_EQ(needed.find(library), std::string::npos) << file << " links " << library << "\n" << needed;
            EXPECT_EQ(loaded.find(library), std::string::npos) << file << " loads " << library << "\n" << loaded;
        }
    }
}

}  // namespace
